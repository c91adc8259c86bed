#pragma once

#include <functional>
#include <qt_windows.h>

// The calls with which a save writes and replaces the Data file on Windows, so that a test can
// make one fail. A default-constructed set holds the system's own.
struct WindowsFileCalls {
    WindowsFileCalls();

    std::function<BOOL(HANDLE file, const void *data, DWORD size, DWORD *written)> write;
    std::function<BOOL(HANDLE file)> flush;
    // Gives the replacement the replaced file's name, attributes and security.
    std::function<BOOL(LPCWSTR replaced, LPCWSTR replacement)> replace;
    std::function<BOOL(LPCWSTR from, LPCWSTR to)> move;

    static const WindowsFileCalls &current();
    // Puts `calls` in place and returns the set they replace, to be put back later.
    static WindowsFileCalls exchange(WindowsFileCalls calls);
};

#include "base/win/ClockNotice.h"

#include "base/Clock.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <qt_windows.h>

namespace {
LRESULT CALLBACK clockWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool resumed = message == WM_POWERBROADCAST &&
                         (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND);
    if (message != WM_TIMECHANGE && !resumed)
        return DefWindowProcW(window, message, wParam, lParam);
    // The notice may be sent from inside another call of ours: it is acted on once that returns.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { Clock::notifyChanged(); }, Qt::QueuedConnection);
    return message == WM_POWERBROADCAST ? TRUE : 0;
}
} // namespace

bool watchWindowsClock() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = clockWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PiruneClockNotice";
    if (!RegisterClassW(&windowClass))
        return false;
    // Top-level though never shown: broadcasts do not reach a message-only window.
    return CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0,
                           nullptr, nullptr, windowClass.hInstance, nullptr) != nullptr;
}

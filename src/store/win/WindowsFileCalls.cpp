#include "store/win/WindowsFileCalls.h"

#include <utility>

WindowsFileCalls::WindowsFileCalls()
    : write([](HANDLE file, const void *data, DWORD size, DWORD *written) {
          return WriteFile(file, data, size, written, nullptr);
      }),
      flush(FlushFileBuffers), replace([](LPCWSTR replaced, LPCWSTR replacement) {
          return ReplaceFileW(replaced, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                              nullptr, nullptr);
      }),
      move([](LPCWSTR from, LPCWSTR to) {
          return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
      }) {}

namespace {
WindowsFileCalls &installed() {
    static WindowsFileCalls calls;
    return calls;
}
} // namespace

const WindowsFileCalls &WindowsFileCalls::current() {
    return installed();
}

WindowsFileCalls WindowsFileCalls::exchange(WindowsFileCalls calls) {
    return std::exchange(installed(), std::move(calls));
}

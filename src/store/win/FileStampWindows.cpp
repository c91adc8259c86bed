#include "store/FileStamp.h"

#include <QDir>
#include <qt_windows.h>

std::optional<FileStamp> FileStamp::ofHandle(void *handle) {
    BY_HANDLE_FILE_INFORMATION id;
    FILE_BASIC_INFO times;
    if (!GetFileInformationByHandle(handle, &id) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) ||
        (id.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    const auto join = [](DWORD high, DWORD low) { return qint64(quint64(high) << 32 | low); };
    // Times from 1601 in 100 ns, as nanoseconds from 1970. The volume is left out: Wine does not
    // tell it for a file renamed since it was opened, and the folder stays on its volume.
    constexpr qint64 from1601 = 116444736000000000;
    return FileStamp{0, join(id.nFileIndexHigh, id.nFileIndexLow),
                     join(id.nFileSizeHigh, id.nFileSizeLow),
                     (times.LastWriteTime.QuadPart - from1601) * 100,
                     (times.ChangeTime.QuadPart - from1601) * 100};
}

std::optional<FileStamp> FileStamp::of(const QString &path) {
    // Reading attributes alone: no other program's open or rename of the file is kept waiting.
    const HANDLE file = CreateFileW(
        reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const std::optional<FileStamp> stamp = ofHandle(file);
    CloseHandle(file);
    return stamp;
}

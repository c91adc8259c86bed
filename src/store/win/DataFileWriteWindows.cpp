#include "store/win/DataFileWriteWindows.h"

#include "store/win/WindowsFileCalls.h"

#include <QDir>
#include <string>

namespace {
std::wstring native(const QString &path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// What the user can do about it picks the error, as on other systems.
RunError failure(const QString &path, DWORD err,
                 RunError (*other)(const QString &, const QString &)) {
    const QString text = qt_error_string(int(err));
    switch (err) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return RunError::diskFull(path, text);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
        return RunError::permissionDenied(path, text);
    default:
        return other(path, text);
    }
}

// A virus scanner, a sync client or an editor holds the file for a moment now and then: a second
// of that is waited out before the box.
DWORD retried(const std::function<BOOL()> &call) {
    for (int tries = 0;; ++tries) {
        if (call())
            return 0;
        const DWORD err = GetLastError();
        // ReplaceFileW tells a holder of the old file as "unable to remove the replaced file".
        const bool held = err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION ||
                          err == ERROR_UNABLE_TO_REMOVE_REPLACED;
        if (!held || tries == 20)
            return err;
        Sleep(50);
    }
}

DWORD writeAllAndFlush(const WindowsFileCalls &sys, HANDLE file, const QByteArray &bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        DWORD n = 0;
        const auto chunk = DWORD(qMin<qsizetype>(bytes.size() - done, 1 << 30));
        if (!sys.write(file, bytes.constData() + done, chunk, &n))
            return GetLastError();
        if (n == 0)
            return ERROR_WRITE_FAULT;
        done += n;
    }
    // After a failed flush the written data may be lost: the old file is the last good one.
    return sys.flush(file) ? 0 : GetLastError();
}

HANDLE createTempBeside(const QString &target, QString &temp) {
    for (int tries = 0; tries < 100; ++tries) {
        temp = target + QString::fromLatin1(DataFile::temporarySuffix());
        const HANDLE file = CreateFileW(native(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Where no new file can be made beside it: the old file written through, its contents written
// back when the new ones fail.
DataFile::WriteResult writeInPlace(const QString &path, const QByteArray &bytes,
                                   const std::function<bool()> &unchanged) {
    const QByteArray old = DataFile::readAll(path);
    const HANDLE file = CreateFileW(native(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw failure(path, GetLastError(), RunError::pathAccess);
    if (unchanged && !unchanged()) {
        CloseHandle(file);
        return {true, false, std::nullopt};
    }
    const auto rewrite = [&](const QByteArray &contents) -> DWORD {
        if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 || !SetEndOfFile(file))
            return GetLastError();
        return writeAllAndFlush(WindowsFileCalls::current(), file, contents);
    };
    if (const DWORD err = rewrite(bytes)) {
        rewrite(old);
        CloseHandle(file);
        throw failure(path, err, RunError::ioError);
    }
    const std::optional<FileStamp> stamp = FileStamp::ofHandle(file);
    CloseHandle(file);
    return {false, true, stamp};
}

// Puts the written temporary file in the Data file's place; the error, or 0.
DWORD putInPlace(const WindowsFileCalls &sys, const std::wstring &temp, const std::wstring &target,
                 bool replacing) {
    if (!replacing)
        return retried([&] { return sys.move(temp.c_str(), target.c_str()); });
    const DWORD err = retried([&] { return sys.replace(target.c_str(), temp.c_str()); });
    // A file system that cannot replace (some network shares) still renames; so does a replace
    // that removed the old file and then failed, which leaves the Data file's name free.
    if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION ||
        err == ERROR_INVALID_PARAMETER || err == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return retried([&] { return sys.move(temp.c_str(), target.c_str()); });
    return err;
}
} // namespace

DataFile::WriteResult writeWindows(const QString &path, const QByteArray &bytes,
                                   const std::function<bool()> &unchanged) {
    const WindowsFileCalls &sys = WindowsFileCalls::current();
    const std::wstring target = native(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
    // A file made read-only is refused, not replaced behind the user's back.
    if (replacing && (attributes & FILE_ATTRIBUTE_READONLY))
        throw failure(path, ERROR_ACCESS_DENIED, RunError::pathAccess);
    QString tempPath;
    const HANDLE file = createTempBeside(path, tempPath);
    if (file == INVALID_HANDLE_VALUE && replacing && GetLastError() == ERROR_ACCESS_DENIED)
        return writeInPlace(path, bytes, unchanged);
    if (file == INVALID_HANDLE_VALUE)
        throw failure(path, GetLastError(), RunError::pathAccess);
    const std::wstring temp = native(tempPath);
    DWORD err = writeAllAndFlush(sys, file, bytes);
    CloseHandle(file);
    // The replace keeps them too, but not where it falls back to a rename.
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (replacing && (attributes & kept))
        SetFileAttributesW(temp.c_str(), attributes & kept);
    // Of the file written, whatever is put in its place afterwards; it keeps nothing waiting.
    const HANDLE written = CreateFileW(temp.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    const bool moved = err == 0 && unchanged && !unchanged();
    if (err == 0 && !moved)
        err = putInPlace(sys, temp, target, replacing);
    const std::optional<FileStamp> stamp = err == 0 && !moved && written != INVALID_HANDLE_VALUE
                                               ? FileStamp::ofHandle(written)
                                               : std::nullopt;
    if (written != INVALID_HANDLE_VALUE)
        CloseHandle(written);
    // With no Data file left after a failure, the temporary file is the one whole copy on disk.
    const bool onlyCopy = err != 0 && GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
    if ((err != 0 || moved) && !onlyCopy)
        DeleteFileW(temp.c_str());
    if (err != 0)
        throw failure(path, err, RunError::ioError);
    return {moved, false, stamp};
}

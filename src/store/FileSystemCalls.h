#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <functional>
#include <sys/types.h>

// The system calls with which the Data file is read and saved, so that a test can make one fail.
// A default-constructed set holds the system's own.
struct FileSystemCalls {
    FileSystemCalls();

    std::function<int(const char *path, int flags, mode_t mode)> open;
    std::function<ssize_t(int fd, const void *data, size_t size)> write;
    std::function<int(int fd, mode_t mode)> fchmod;
    std::function<int(int fd, uid_t owner, gid_t group)> fchown;
    std::function<int(int fd)> fdatasync, fsync, close;
    std::function<int(const char *from, const char *to)> rename;
    std::function<int(const char *path)> unlink;

    static const FileSystemCalls &current();
    // Puts `calls` in place and returns the set they replace, to be put back later.
    static FileSystemCalls exchange(FileSystemCalls calls);
};
#endif

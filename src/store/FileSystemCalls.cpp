#include "store/FileSystemCalls.h"

#ifdef Q_OS_UNIX
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

FileSystemCalls::FileSystemCalls()
    : open([](const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }),
      write(::write), fchmod(::fchmod), fchown(::fchown), fsync(::fsync), close(::close),
      rename(::rename), unlink(::unlink) {
#ifdef Q_OS_DARWIN
    // There fsync leaves the data in the drive's cache.
    fdatasync = [](int fd) { return ::fcntl(fd, F_FULLFSYNC); };
#else
    fdatasync = ::fdatasync;
#endif
}

namespace {
FileSystemCalls &installed() {
    static FileSystemCalls calls;
    return calls;
}
} // namespace

const FileSystemCalls &FileSystemCalls::current() {
    return installed();
}

FileSystemCalls FileSystemCalls::exchange(FileSystemCalls calls) {
    return std::exchange(installed(), std::move(calls));
}
#endif

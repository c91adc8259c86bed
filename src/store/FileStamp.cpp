#include "store/FileStamp.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

namespace {
std::optional<FileStamp> stampOf(const struct stat &st) {
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    const auto ns = [](const timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return FileStamp{qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size), ns(st.st_mtim),
                     ns(st.st_ctim)};
}
} // namespace

std::optional<FileStamp> FileStamp::of(const QString &path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return stampOf(st);
}

std::optional<FileStamp> FileStamp::ofDescriptor(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return stampOf(st);
}
#endif

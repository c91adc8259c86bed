#include "store/DataFile.h"

#include "store/FileErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include "store/FileSystemCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif
#else
#include "store/win/DataFileWriteWindows.h"
#endif

namespace {
#ifdef Q_OS_UNIX
// A symlinked Data file stays a link: the file it leads to is the one replaced.
QString finalTarget(const QString &path) {
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink(); ++depth) {
        if (depth == 40)
            throw failure(path, ELOOP, RunError::pathAccess);
        info.setFile(info.symLinkTarget());
    }
    return info.absoluteFilePath();
}

// Writes all of bytes from the start of fd and flushes them to the disk; the error number, or 0.
int writeAllAndFlush(const FileSystemCalls &sys, int fd, const QByteArray &bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = sys.write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    // After a failed flush the written pages may be lost: the old file is the last good one.
    return sys.fdatasync(fd) != 0 ? errno : 0;
}

// The rename is an entry of the folder: a power cut undoes it until the folder is on disk.
void syncFolderOf(const FileSystemCalls &sys, const QString &path, const QString &target) {
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int dir = sys.open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    const int synced = dir < 0 ? -1 : sys.fsync(dir);
    const int err = errno;
    if (dir >= 0)
        sys.close(dir);
    if (synced != 0)
        throw failure(path, err, RunError::ioError);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Extended attributes (an ACL among them) of the file at `from`, given to fd. The security label
// is the folder's for every new file there, as for any editor's save.
bool copyAttributes(const QByteArray &from, int fd) {
#ifdef Q_OS_LINUX
    const ssize_t size = ::llistxattr(from.constData(), nullptr, 0);
    if (size <= 0)
        return size == 0 || errno == ENOTSUP;
    QByteArray names(size, '\0');
    const ssize_t got = ::llistxattr(from.constData(), names.data(), size_t(size));
    for (const QByteArray &name : names.left(qMax<ssize_t>(got, 0)).split('\0')) {
        if (name.isEmpty() || name == "security.selinux")
            continue;
        QByteArray value(::lgetxattr(from.constData(), name.constData(), nullptr, 0), '\0');
        if (value.size() > 0 &&
            ::lgetxattr(from.constData(), name.constData(), value.data(), value.size()) < 0)
            return false;
        if (::fsetxattr(fd, name.constData(), value.constData(), value.size(), 0) != 0)
            return false;
    }
#else
    Q_UNUSED(from);
    Q_UNUSED(fd);
#endif
    return true;
}

// Gives the new file the old one's owner, group, mode and attributes; false where it cannot.
bool keepAttributes(const FileSystemCalls &sys, int fd, const QByteArray &name,
                    const struct stat &old) {
    struct stat now;
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        sys.fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    if (!copyAttributes(name, fd))
        return false;
    // After the owner, whose change clears set-id bits. A file system without modes (FAT) fails
    // here, harmlessly.
    sys.fchmod(fd, old.st_mode & 07777);
    return true;
}

// Where no new file can take the old one's place: the old file truncated and written, its
// contents written back when the new ones fail.
DataFile::WriteResult writeInPlace(const FileSystemCalls &sys, const QString &path,
                                   const QByteArray &name, const QByteArray &bytes,
                                   const std::function<bool()> &unchanged) {
    const QByteArray old = DataFile::readAll(path);
    const int fd = sys.open(name, O_WRONLY | O_CLOEXEC, 0);
    if (fd < 0)
        throw failure(path, errno, RunError::pathAccess);
    if (unchanged && !unchanged()) {
        sys.close(fd);
        return {true, false, std::nullopt};
    }
    const auto rewrite = [&](const QByteArray &contents) {
        if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)
            return errno;
        return writeAllAndFlush(sys, fd, contents);
    };
    if (const int err = rewrite(bytes)) {
        rewrite(old);
        sys.close(fd);
        throw failure(path, err, RunError::ioError);
    }
    const std::optional<FileStamp> stamp = FileStamp::ofDescriptor(fd);
    sys.close(fd);
    return {false, true, stamp};
}

// A new file beside `name`, open for writing and readable by its owner alone until it is whole.
int createTempBeside(const FileSystemCalls &sys, const QByteArray &name, QByteArray &temp) {
    int fd = -1, tries = 0;
    do {
        temp = name + DataFile::temporarySuffix();
        fd = sys.open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EEXIST && ++tries < 100);
    return fd;
}

DataFile::WriteResult writeUnix(const QString &path, const QByteArray &bytes,
                                const std::function<bool()> &unchanged) {
    const FileSystemCalls &sys = FileSystemCalls::current();
    const QString target = finalTarget(path);
    const QByteArray name = QFile::encodeName(target);
    // A file made read-only is refused, not replaced behind the user's back.
    if (::access(name, W_OK) != 0 && errno != ENOENT)
        throw failure(path, errno, RunError::pathAccess);
    struct stat old;
    const bool replacing = ::stat(name, &old) == 0;
    QByteArray temp;
    const int fd = createTempBeside(sys, name, temp);
    if (fd < 0 && replacing && (errno == EACCES || errno == EPERM))
        return writeInPlace(sys, path, name, bytes, unchanged);
    if (fd < 0)
        throw failure(path, errno, RunError::pathAccess);
    const auto discard = [&] {
        sys.close(fd);
        sys.unlink(temp);
    };
    if (replacing && !keepAttributes(sys, fd, name, old)) {
        discard();
        return writeInPlace(sys, path, name, bytes, unchanged);
    }
    if (!replacing)
        sys.fchmod(fd, newFileMode());
    int err = writeAllAndFlush(sys, fd, bytes);
    if (err == 0 && unchanged && !unchanged()) {
        discard();
        return {true, false, std::nullopt};
    }
    if (err == 0 && sys.rename(temp, name) != 0)
        err = errno;
    if (err != 0) {
        discard();
        throw failure(path, err, RunError::ioError);
    }
    // Of the file written, whatever has been renamed over it since.
    const std::optional<FileStamp> stamp = FileStamp::ofDescriptor(fd);
    sys.close(fd);
    syncFolderOf(sys, path, target);
    return {false, false, stamp};
}
#endif
} // namespace

namespace DataFile {

WriteResult writeAtomically(const QString &path, const QByteArray &bytes,
                            const std::function<bool()> &unchanged) {
    const QFileInfo info(path);
    if (info.isDir())
        throw RunError::pathAccess(path, QStringLiteral("フォルダーです"));
#ifdef Q_OS_UNIX
    return writeUnix(path, bytes, unchanged);
#else
    return writeWindows(path, bytes, unchanged);
#endif
}

QByteArray temporarySuffix() {
    static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix = ".save-";
    for (int i = 0; i < 6; ++i)
        suffix += chars[QRandomGenerator::system()->bounded(int(sizeof chars) - 1)];
    return suffix;
}

void removeLeftTemporaries(const QString &path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QFileInfo data(target.isEmpty() ? path : target);
    const QRegularExpression left(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(data.fileName()) + QStringLiteral("\\.save-[A-Za-z0-9]{6}")));
    QDir folder = data.absoluteDir();
    for (const QFileInfo &f : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (left.match(f.fileName()).hasMatch() && !f.isSymLink() && f.isFile())
            folder.remove(f.fileName());
    }
}

} // namespace DataFile

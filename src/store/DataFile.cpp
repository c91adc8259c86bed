#include "store/DataFile.h"

#include "base/RunError.h"
#include "base/TextMarks.h"
#include "store/DateText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <limits>

#ifdef Q_OS_UNIX
#include "store/FileSystemCalls.h"

#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#include <QStorageInfo>
#endif

namespace {
#ifdef Q_OS_UNIX
// What the user can do about it picks the error: make room, get the right, or else (`other`) look
// at the path or the device.
RunError failure(const QString &path, int err,
                 RunError (*other)(const QString &, const QString &)) {
    const QString text = qt_error_string(err);
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return RunError::diskFull(path, text);
    case EACCES:
    case EPERM:
    case EROFS:
        return RunError::permissionDenied(path, text);
    default:
        return other(path, text);
    }
}

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

// Writes all of bytes, flushes them to the disk and closes fd; the error number, or 0.
int writeAndClose(const FileSystemCalls &sys, int fd, const QByteArray &bytes) {
    const auto failed = [&](int err) {
        sys.close(fd);
        return err;
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = sys.write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failed(n < 0 ? errno : EIO);
        done += n;
    }
    // After a failed flush the written pages may be lost: the old file is the last good one.
    if (sys.fdatasync(fd) != 0)
        return failed(errno);
    return sys.close(fd) != 0 ? errno : 0;
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

QByteArray tempNameBeside(const QByteArray &target) {
    static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name = target + '.';
    for (int i = 0; i < 6; ++i)
        name += chars[QRandomGenerator::system()->bounded(int(sizeof chars) - 1)];
    return name;
}
#else
// QFile and QSaveFile keep the system's error number to themselves.
RunError failure(const QString &path, const QString &why) {
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (dir.exists() && !dir.isWritable())
        return RunError::permissionDenied(path, why);
    return RunError::pathAccess(path, why);
}
#endif
} // namespace

namespace DataFile {

QString fileName() {
    return QStringLiteral("Pirune.dat");
}

QString pathIn(const QString &dir) {
    return QDir(dir).filePath(fileName());
}

void ensureExists(const QString &path) {
    if (QFileInfo::exists(path))
        return;
#ifdef Q_OS_UNIX
    // No O_TRUNC: a file someone made meanwhile is kept.
    const FileSystemCalls &sys = FileSystemCalls::current();
    const int fd =
        sys.open(QFile::encodeName(path), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        throw failure(path, errno, RunError::pathAccess);
    sys.close(fd);
#else
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw failure(path, f.errorString());
#endif
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    if (!f.exists())
        throw RunError::fileNotFound(path);
#ifdef Q_OS_UNIX
    // Opening a FIFO waits for a writer, and a device may never end. A folder is left to QFile,
    // whose words for it the user has seen so far.
    const FileSystemCalls &sys = FileSystemCalls::current();
    const int fd = sys.open(QFile::encodeName(path), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        throw RunError::pathAccess(path, qt_error_string(errno));
    struct stat st;
    const mode_t kind = ::fstat(fd, &st) == 0 ? st.st_mode & S_IFMT : 0;
    if (kind == S_IFREG)
        f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    else
        sys.close(fd);
    if (kind != S_IFREG && kind != S_IFDIR)
        throw RunError::pathAccess(path, QStringLiteral("通常のファイルではありません"));
#endif
    if (!f.isOpen() && !f.open(QIODevice::ReadOnly))
        throw RunError::pathAccess(path, f.errorString());
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw RunError::ioError(path, f.errorString());
    return bytes;
}

QList<LoadIssue> load(const QByteArray &bytes, NoticeTable &t, FileEncoding &enc) {
    QList<LoadIssue> issues;
    enc = TextCodec::detect(bytes);
    const qsizetype start = enc == FileEncoding::Utf8Bom ? 3 : 0;
    const QString tab(QLatin1Char('\t'));
    QStringList fields(3);
    // A line ends at CR LF, CR or LF: Pirune writes CR LF and never a lone LF inside a field (a
    // line break is stored as "\n"), so a lone LF comes from a hand edit (echo >> Pirune.dat) or
    // from a file written with LF ends.
    qsizetype pos = start;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
            ++end;
        const QString line = TextCodec::decode(QByteArrayView(bytes).sliced(pos, end - pos), enc);
        const bool crlf =
            end + 1 < bytes.size() && bytes.at(end) == '\r' && bytes.at(end + 1) == '\n';
        pos = end + (crlf ? 2 : 1);

        try {
            splitFields(line, tab, fields);
        } catch (const RunError &e) {
            issues.append({t.size(), qint32(fields.size()), e});
        }
        if (t.size() == std::numeric_limits<qint32>::max())
            throw RunError::overflow();
        t.append(Notice{fields.at(0), fields.at(1), fields.at(2)});
    }
    return issues;
}

QByteArray serialize(const NoticeTable &t, FileEncoding enc) {
    QString text;
    text.reserve(qsizetype(t.size()) * 40);
    for (const Notice &n : t.notices()) {
        // A text that is no date-time (only from a hand-edited file) is kept as it stands.
        const auto civil = DateText::parse(n.dateTime);
        text += civil ? DateText::renderMinute(*civil) : n.dateTime;
        text += QLatin1Char('\t');
        text += n.message;
        text += QLatin1Char('\t');
        text += n.flag;
        text += QLatin1String("\r\n");
    }
    return TextCodec::bom(enc) + TextCodec::encode(text, enc);
}

void writeAtomically(const QString &path, const QByteArray &bytes) {
    const QFileInfo info(path);
    if (info.isDir())
        throw RunError::pathAccess(path, QStringLiteral("フォルダーです"));
#ifdef Q_OS_UNIX
    const FileSystemCalls &sys = FileSystemCalls::current();
    const QString target = finalTarget(path);
    const QByteArray name = QFile::encodeName(target);
    // A file made read-only is refused, not replaced behind the user's back.
    if (::access(name, W_OK) != 0 && errno != ENOENT)
        throw failure(path, errno, RunError::pathAccess);
    struct stat old;
    const bool replacing = ::stat(name, &old) == 0;

    QByteArray temp;
    int fd = -1, tries = 0;
    do {
        temp = tempNameBeside(name);
        fd = sys.open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); // a new file's mode
    } while (fd < 0 && errno == EEXIST && ++tries < 100);
    if (fd < 0)
        throw failure(path, errno, RunError::pathAccess);
    // Before any byte is in it. Where the file system has no modes (FAT) this fails, harmlessly.
    if (replacing)
        sys.fchmod(fd, old.st_mode & 07777);
    const int err = writeAndClose(sys, fd, bytes);
    if (err != 0 || sys.rename(temp, name) != 0) {
        const int why = err != 0 ? err : errno;
        sys.unlink(temp);
        throw failure(path, why, RunError::ioError);
    }
    syncFolderOf(sys, path, target);
#else
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw failure(path, f.errorString());
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        const QString why = f.errorString();
        f.cancelWriting();
        const QStorageInfo storage(info.absolutePath());
        if (storage.isValid() && storage.bytesAvailable() < bytes.size())
            throw RunError::diskFull(path, why);
        throw RunError::ioError(path, why);
    }
    if (!f.commit())
        throw RunError::ioError(path, f.errorString());
#endif
}

} // namespace DataFile

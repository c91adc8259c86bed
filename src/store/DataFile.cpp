#include "store/DataFile.h"

#include "base/RunError.h"
#include "base/TextMarks.h"
#include "store/DateText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <optional>

#include "store/FileErrors.h"

#ifdef Q_OS_UNIX
#include "store/FileSystemCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
bool isBlank(const QString &field) {
    return std::all_of(field.begin(), field.end(), [](QChar c) { return c.isSpace(); });
}
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
#else
    // Windows calls a folder "access denied": the words the user sees elsewhere.
    if (QFileInfo(path).isDir())
        throw RunError::pathAccess(
            path, QCoreApplication::translate("QIODevice", "file to open is a directory"));
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
        std::optional<LoadIssue> issue;
        try {
            splitFields(line, tab, fields);
        } catch (const RunError &e) {
            issue = LoadIssue{t.size(), qint32(fields.size()), e, line};
        }
        // A blank line (an editor's last line end, say) is no notice.
        if (std::all_of(fields.begin(), fields.end(), isBlank))
            continue;
        if (issue)
            issues.append(*issue);
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
    QByteArray bytes = TextCodec::encode(text, enc);
    // Read back, a file that begins as a byte-order mark does would be taken for UTF-8 with one;
    // an empty line first is no notice.
    if (enc != FileEncoding::Utf8Bom && bytes.startsWith("\xEF\xBB\xBF"))
        bytes.prepend("\r\n");
    return TextCodec::bom(enc) + bytes;
}

} // namespace DataFile

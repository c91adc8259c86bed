#include "store/DataFile.h"

#include "base/RunError.h"
#include "base/mdl_Cmn.h"
#include "store/DateText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <limits>

namespace DataFile {

QString fileName() { return QStringLiteral("Pirune.dat"); }

QString pathIn(const QString &dir) { return QDir(dir).filePath(fileName()); }

void ensureExists(const QString &path)
{
    if (QFileInfo::exists(path))
        return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        const QFileInfo dir(QFileInfo(path).absolutePath());
        if (dir.exists() && !dir.isWritable())
            throw RunError::permissionDenied(path, f.errorString());
        throw RunError::pathAccess(path, f.errorString());
    }
    f.close();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.exists())
        throw RunError::fileNotFound(path);
    if (!f.open(QIODevice::ReadOnly))
        throw RunError::pathAccess(path, f.errorString());
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw RunError::ioError(path, f.errorString());
    return bytes;
}

QList<LoadIssue> load(const QByteArray &bytes, NoticeTable &t, FileEncoding &enc)
{
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
        const bool crlf = end + 1 < bytes.size() && bytes.at(end) == '\r' && bytes.at(end + 1) == '\n';
        pos = end + (crlf ? 2 : 1);

        try {
            splitFields(line, tab, fields);
        } catch (const RunError &e) {
            issues.append({t.lngCount, qint32(fields.size()), e});
        }
        if (t.lngCount == std::numeric_limits<qint32>::max())
            throw RunError::overflow();
        t.lngLast = t.lngCount;
        t.resizeTo(t.lngLast);
        t.arrJikoku[t.lngCount] = fields.at(0);
        t.arrMes[t.lngCount] = fields.at(1);
        t.arrTuuti[t.lngCount] = fields.at(2);
        ++t.lngCount;
    }
    t.jikokuChanged();
    return issues;
}

QByteArray serialize(NoticeTable &t, FileEncoding enc)
{
    const qint32 last = t.lngLast;
    QString text;
    text.reserve(qsizetype(last + 1) * 40);
    for (t.lngCount = 0; t.lngCount <= last; ++t.lngCount) {
        const QString &jikoku = at(t.arrJikoku, t.lngCount);
        // A text that is no date-time (only from a hand-edited file) is kept as it stands.
        const auto civil = DateText::parse(jikoku);
        text += civil ? DateText::renderMinute(*civil) : jikoku;
        text += QLatin1Char('\t');
        text += at(t.arrMes, t.lngCount);
        text += QLatin1Char('\t');
        text += at(t.arrTuuti, t.lngCount);
        text += QLatin1String("\r\n");
    }
    return TextCodec::bom(enc) + TextCodec::encode(text, enc);
}

void writeAtomically(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (info.isDir())
        throw RunError::pathAccess(path, QStringLiteral("フォルダーです"));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        const QFileInfo dir(info.absolutePath());
        if (dir.exists() && !dir.isWritable())
            throw RunError::permissionDenied(path, f.errorString());
        throw RunError::pathAccess(path, f.errorString());
    }
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
}

} // namespace DataFile

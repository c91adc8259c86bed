#include "roundtrip_check.h"

#include "app/MessageSeam.h"
#include "app/RunError.h"
#include "store/DataFile.h"
#include "store/DateText.h"

namespace {

// Saving writes date-times in one form ("yyyy/mm/dd hh:nn"); a hand-written "2024/1/2 3:04" is
// the same notice.
bool sameJikoku(const QString &before, const QString &after)
{
    if (before == after)
        return true;
    const auto a = DateText::parse(before), b = DateText::parse(after);
    return a && b && *a / 60 == *b / 60;
}

QString codeUnits(const QString &s)
{
    QString out;
    for (qsizetype i = 0; i < s.size() && i < 40; ++i)
        out += QString::number(s.at(i).unicode(), 16).rightJustified(4, QLatin1Char('0')) + QLatin1Char(' ');
    return out;
}

QString describe(const char *what, qint32 row, const QString &before, const QString &after)
{
    return QStringLiteral("%1 of row %2 changed: %3-> %4")
        .arg(QLatin1String(what))
        .arg(row)
        .arg(codeUnits(before), codeUnits(after));
}

// Every byte of every field read must come back when the field is written: the same bytes for
// UTF-8, as many bytes for CP932 (which has two codes for some characters and writes one).
QString lostBytes(const QByteArray &bytes, const NoticeTable &t, FileEncoding enc)
{
    qsizetype pos = enc == FileEncoding::Utf8Bom ? 3 : 0;
    const char eol = bytes.contains('\r') ? '\r' : '\n'; // a file without CR has LF line ends
    for (qint32 row = 0; pos < bytes.size(); ++row) {
        const qsizetype cr = bytes.indexOf(eol, pos);
        const qsizetype end = cr < 0 ? bytes.size() : cr;
        const QList<QByteArray> pieces = bytes.mid(pos, end - pos).split('\t');
        pos = end + 1;
        if (eol == '\r' && cr >= 0 && pos < bytes.size() && bytes.at(pos) == '\n')
            ++pos;
        if (row > t.lngLast)
            return QStringLiteral("line %1 was not read").arg(row);
        const QString *fields[3] = {&t.arrJikoku.at(row), &t.arrMes.at(row), &t.arrTuuti.at(row)};
        for (int k = 0; k < 3; ++k) {
            const QByteArray original = k < pieces.size() ? pieces.at(k) : QByteArray();
            QByteArray written;
            try {
                written = TextCodec::encode(*fields[k], enc);
            } catch (const RunError &e) {
                return QStringLiteral("field %1 of line %2 cannot be written: %3").arg(k).arg(row).arg(e.description());
            }
            const bool kept = enc == FileEncoding::Cp932 ? written.size() == original.size() : written == original;
            if (!kept)
                return QStringLiteral("field %1 of line %2 read from %3 is written as %4")
                    .arg(k)
                    .arg(row)
                    .arg(QString::fromLatin1(original.left(60).toHex(' ')), QString::fromLatin1(written.left(60).toHex(' ')));
        }
    }
    return {};
}

} // namespace

void silenceMessageBoxes()
{
    MessageSeam::setHandler([](const MessageSeam::Box &box) { return box.defaultAnswer; });
}

QString roundTripFault(const QByteArray &bytes, bool *ambiguous)
{
    if (ambiguous)
        *ambiguous = false;
    NoticeTable first, second;
    FileEncoding firstEnc, secondEnc;
    DataFile::load(bytes, first, firstEnc);
    if (const QString lost = lostBytes(bytes, first, firstEnc); !lost.isEmpty())
        return lost;
    QByteArray saved;
    try {
        saved = DataFile::serialize(first, firstEnc);
    } catch (const RunError &e) {
        return QStringLiteral("the loaded table cannot be saved: ") + e.description();
    }
    DataFile::load(saved, second, secondEnc);

    // A CP932 file whose bytes, once saved, are valid UTF-8 with a three-byte sequence ("縲ｱ" is
    // E3 80 B1, "〱" in UTF-8) is read as UTF-8 next time. Its bytes must still never change.
    if (firstEnc == FileEncoding::Cp932 && secondEnc == FileEncoding::Utf8) {
        if (ambiguous)
            *ambiguous = true;
        try {
            if (DataFile::serialize(second, secondEnc) != saved)
                return QStringLiteral("a CP932 file read as UTF-8 after saving changed its bytes");
        } catch (const RunError &e) {
            return QStringLiteral("the reloaded table cannot be saved: ") + e.description();
        }
        return {};
    }

    if (second.lngLast != first.lngLast)
        return QStringLiteral("%1 notices became %2").arg(first.lngLast + 1).arg(second.lngLast + 1);
    for (qint32 i = 0; i <= first.lngLast; ++i) {
        if (!sameJikoku(first.arrJikoku.at(i), second.arrJikoku.at(i)))
            return describe("date-time", i, first.arrJikoku.at(i), second.arrJikoku.at(i));
        if (first.arrMes.at(i) != second.arrMes.at(i))
            return describe("message", i, first.arrMes.at(i), second.arrMes.at(i));
        if (first.arrTuuti.at(i) != second.arrTuuti.at(i))
            return describe("notified mark", i, first.arrTuuti.at(i), second.arrTuuti.at(i));
    }
    QByteArray savedAgain;
    try {
        savedAgain = DataFile::serialize(second, secondEnc);
    } catch (const RunError &e) {
        return QStringLiteral("the reloaded table cannot be saved: ") + e.description();
    }
    if (savedAgain != saved)
        return QStringLiteral("saving the reloaded table gave other bytes (%1 vs %2 bytes)")
            .arg(savedAgain.size())
            .arg(saved.size());
    return {};
}

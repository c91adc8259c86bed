#pragma once

#include "store/DataFile.h"

// Loads bytes as the program reads its Data file and saves the table: no byte of a field may be
// lost, and loading and saving what was saved must give the same bytes. Returns what went wrong;
// a table that cannot be saved throws.
inline QString roundTripFault(const QByteArray &bytes) {
    NoticeTable t, again;
    FileEncoding enc, encAgain;
    DataFile::load(bytes, t, enc);
    // Each field written back gives its bytes: the same in UTF-8, as many in CP932, which has
    // two codes for some characters and writes one of them.
    qsizetype pos = enc == FileEncoding::Utf8Bom ? 3 : 0;
    for (qint32 row = 0; pos < bytes.size(); ++row) { // CR LF, CR and LF each end a line
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const QByteArray line = bytes.mid(pos, end - pos);
        const QList<QByteArray> fields = line.split('\t');
        pos = end + (bytes.mid(end, 2) == "\r\n" ? 2 : 1);
        const QStringList texts = TextCodec::decode(line, enc).split(QLatin1Char('\t'));
        const auto blank = [&](int k) { return texts.value(k).trimmed().isEmpty(); };
        if (blank(0) && blank(1) && blank(2)) { // no notice
            --row;
            continue;
        }
        const Notice n = t.notices().value(row);
        const QStringList loaded = {n.dateTime, n.message, n.flag};
        for (int k = 0; k < 3; ++k) {
            const QByteArray written = TextCodec::encode(loaded[k], enc),
                             original = fields.value(k);
            if (enc == FileEncoding::Cp932 ? written.size() != original.size()
                                           : written != original)
                return QStringLiteral("field %1 of line %2: %3 became %4")
                    .arg(k)
                    .arg(row)
                    .arg(QString(original.left(60).toHex(' ')),
                         QString(written.left(60).toHex(' ')));
        }
    }
    const QByteArray saved = DataFile::serialize(t, enc);
    DataFile::load(saved, again, encAgain);
    if (DataFile::serialize(again, encAgain) != saved)
        return QStringLiteral("saving the reloaded table gave other bytes");
    return {};
}

#include "roundtrip_check.h"

#include "app/MessageSeam.h"
#include "app/RunError.h"
#include "store/DataFile.h"

QString roundTripFault(const QByteArray &bytes) {
    static const auto silenced = MessageSeam::setHandler([](const MessageSeam::Box &b) { return b.defaultAnswer; });
    NoticeTable t, again;
    FileEncoding enc, encAgain;
    DataFile::load(bytes, t, enc);
    try {
        // Each field written back gives its bytes: the same in UTF-8, as many in CP932, which has
        // two codes for some characters and writes one of them.
        qsizetype pos = enc == FileEncoding::Utf8Bom ? 3 : 0;
        const char eol = bytes.contains('\r') ? '\r' : '\n'; // a file without CR has LF line ends
        for (qint32 row = 0; pos < bytes.size(); ++row) {
            const qsizetype cr = bytes.indexOf(eol, pos), end = cr < 0 ? bytes.size() : cr;
            const QList<QByteArray> fields = bytes.mid(pos, end - pos).split('\t');
            pos = end + (bytes.mid(end, 2) == "\r\n" ? 2 : 1);
            for (int k = 0; k < 3; ++k) {
                const QByteArray original = fields.value(k);
                const QByteArray written = TextCodec::encode((k ? k == 1 ? t.arrMes : t.arrTuuti : t.arrJikoku).value(row), enc);
                if (enc == FileEncoding::Cp932 ? written.size() != original.size() : written != original)
                    return QStringLiteral("field %1 of line %2: %3 became %4")
                        .arg(k).arg(row).arg(QString(original.left(60).toHex(' ')), QString(written.left(60).toHex(' ')));
            }
        }
        const QByteArray saved = DataFile::serialize(t, enc);
        DataFile::load(saved, again, encAgain);
        if (DataFile::serialize(again, encAgain) != saved)
            return QStringLiteral("saving the reloaded table gave other bytes");
    } catch (const RunError &e) {
        return QStringLiteral("the loaded table cannot be saved: ") + e.description();
    }
    return {};
}

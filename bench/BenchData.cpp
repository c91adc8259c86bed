#include "BenchData.h"

#include "store/DataFile.h"

#include <utility>

namespace BenchData {

NoticeTable table(qint32 count, const QDateTime &now) {
    NoticeTable t;
    const qint32 past = count / 4;
    const QDateTime firstPast = now.addSecs(-qint64(past + 1) * 37 * 60);
    const QDateTime firstFuture = now.addDays(1);
    QString previous;
    for (qint32 i = 0; i < count; ++i) {
        const QDateTime when = i < past ? firstPast.addSecs(qint64(i) * 37 * 60)
                                        : firstFuture.addSecs(qint64(i - past) * 37 * 60);
        const QString dateTime = (i % 16 == 15 && i != past)
                                     ? previous
                                     : when.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
        previous = dateTime;
        t.append({dateTime, QStringLiteral("打ち合わせ %1 の準備\\n資料を印刷して会議室へ").arg(i),
                  i < past ? QStringLiteral("1") : QStringLiteral("0")});
    }
    return t;
}

QByteArray fileBytes(qint32 count, const QDateTime &now) {
    return DataFile::serialize(table(count, now), FileEncoding::Cp932);
}

NoticeTable afterAdd(qint32 count) {
    NoticeTable t = table(count);
    t.append({t.at(count / 2).dateTime, QStringLiteral("追加"), QStringLiteral("0")});
    return t;
}

NoticeTable afterChange(qint32 count) {
    NoticeTable t = table(count);
    Notice &changed = t.at(count / 4);
    changed.dateTime = std::as_const(t).at(count * 3 / 4).dateTime;
    changed.message = QStringLiteral("変更");
    return t;
}

void detach(NoticeTable &t) {
    if (!t.isEmpty())
        t.at(0); // a non-const access gives the list its own storage
}

} // namespace BenchData

#include "BenchData.h"

#include "store/DataFile.h"

namespace BenchData {

NoticeTable table(qint32 count, const QDateTime &now) {
    NoticeTable t;
    t.resizeTo(count - 1);
    t.lngLast = count - 1;
    const qint32 past = count / 4;
    const QDateTime firstPast = now.addSecs(-qint64(past + 1) * 37 * 60);
    const QDateTime firstFuture = now.addDays(1);
    QString previous;
    for (qint32 i = 0; i < count; ++i) {
        const QDateTime when = i < past ? firstPast.addSecs(qint64(i) * 37 * 60)
                                        : firstFuture.addSecs(qint64(i - past) * 37 * 60);
        t.arrJikoku[i] = (i % 16 == 15 && i != past)
                             ? previous
                             : when.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
        previous = t.arrJikoku[i];
        t.arrMes[i] = QStringLiteral("打ち合わせ %1 の準備\\n資料を印刷して会議室へ").arg(i);
        t.arrTuuti[i] = i < past ? QStringLiteral("1") : QStringLiteral("0");
    }
    t.jikokuChanged();
    return t;
}

QByteArray fileBytes(qint32 count, const QDateTime &now) {
    NoticeTable t = table(count, now);
    return DataFile::serialize(t, FileEncoding::Cp932);
}

NoticeTable afterAdd(qint32 count) {
    NoticeTable t = table(count);
    const QString middle = t.arrJikoku.at(count / 2);
    t.resizeTo(count);
    t.lngLast = count;
    t.arrJikoku[count] = middle;
    t.arrMes[count] = QStringLiteral("追加");
    t.arrTuuti[count] = QStringLiteral("0");
    t.jikokuChanged();
    return t;
}

NoticeTable afterChange(qint32 count) {
    NoticeTable t = table(count);
    t.arrJikoku[count / 4] = t.arrJikoku.at(count * 3 / 4);
    t.arrMes[count / 4] = QStringLiteral("変更");
    t.jikokuChanged();
    return t;
}

void detach(NoticeTable &t) {
    t.arrJikoku.detach();
    t.arrMes.detach();
    t.arrTuuti.detach();
}

} // namespace BenchData

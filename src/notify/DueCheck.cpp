#include "notify/DueCheck.h"

#include "base/Clock.h"
#include "store/DateText.h"

namespace DueCheck {

qint64 nowCivil() {
    return DateText::civilOf(Clock::now());
}

QStringList missedNotices(NoticeTable &t, qint64 now) {
    QStringList out;
    const qint32 last = t.lngLast;
    for (t.lngCount = 0; t.lngCount <= last; ++t.lngCount) {
        if (isMissed(t, t.lngCount, now))
            out << t.arrJikoku.at(t.lngCount) + QLatin1Char('\t') + t.arrMes.at(t.lngCount);
    }
    return out;
}

} // namespace DueCheck

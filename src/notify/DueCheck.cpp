#include "notify/DueCheck.h"

#include "app/Clock.h"
#include "app/RunError.h"
#include "store/DateText.h"

namespace DueCheck {

qint64 nowCivil() { return DateText::civilOf(Clock::now()); }

bool isDue(const NoticeTable &t, qint32 i, qint64 now)
{
    if (!t.isPending(i))
        return false;
    const auto &m = t.minutes();
    return size_t(i) < m.size() && m[size_t(i)] && *m[size_t(i)] == now;
}

bool isMissed(const NoticeTable &t, qint32 i, qint64 now)
{
    if (!t.isPending(i))
        return false;
    const auto &m = t.minutes();
    return size_t(i) < m.size() && m[size_t(i)] && now > *m[size_t(i)];
}

} // namespace DueCheck

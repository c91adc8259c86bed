#pragma once

#include "app/RunError.h"
#include "store/NoticeTable.h"

// The two tests of a notice against the clock, on civil seconds (see DateText).
// Both are inline and test the minute before the flag: the timer tests every notice ten times a
// second, and the minutes sit in one array while each flag is a string of its own.
namespace DueCheck {

qint64 nowCivil();

// Due: its minute's second :00 is the current second, or came after `since` (the second of a
// previous pass that was a little late) and not after now; and it was not shown yet.
inline bool isDue(const NoticeTable &t, qint32 i, qint64 now, qint64 since)
{
    if (i < 0 || i >= t.arrTuuti.size())
        throw RunError::indexOutOfRange();
    const auto &m = t.minutes();
    if (size_t(i) >= m.size() || !m[size_t(i)])
        return false;
    const qint64 minute = *m[size_t(i)];
    if (minute != now && !(since < minute && minute <= now))
        return false;
    return t.isPending(i);
}

inline bool isDue(const NoticeTable &t, qint32 i, qint64 now) { return isDue(t, i, now, now); }

// Missed: its minute began strictly before the current second, and it was not shown yet.
// A text that is no date-time is neither due nor missed.
inline bool isMissed(const NoticeTable &t, qint32 i, qint64 now)
{
    if (i < 0 || i >= t.arrTuuti.size())
        throw RunError::indexOutOfRange();
    const auto &m = t.minutes();
    if (!(size_t(i) < m.size() && m[size_t(i)] && now > *m[size_t(i)]))
        return false;
    return t.isPending(i);
}

} // namespace DueCheck

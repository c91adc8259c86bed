#pragma once

#include "store/NoticeTable.h"

// The two tests of a notice against the clock, on civil seconds (see DateText).
// Both are inline and test the minute before the flag: the timer tests every notice ten times a
// second, and the minutes sit in one array while each flag is a string of its own.
namespace DueCheck {

qint64 nowCivil();

// Due: its minute's second :00 is the current second, or came after `since` (the second of a
// previous pass that was a little late) and not after now; and it was not shown yet.
inline bool isDue(const NoticeTable &t, qint32 i, qint64 now, qint64 since) {
    const auto &minute = t.minutes()[size_t(i)];
    return minute && (*minute == now || (since < *minute && *minute <= now)) &&
           t.notices()[i].isPending();
}

// Missed: its minute began strictly before the current second, and it was not shown yet.
// A text that is no date-time is neither due nor missed.
inline bool isMissed(const NoticeTable &t, qint32 i, qint64 now) {
    const auto &minute = t.minutes()[size_t(i)];
    return minute && now > *minute && t.notices()[i].isPending();
}

} // namespace DueCheck

#pragma once

#include "store/NoticeTable.h"

// The two tests of a notice (and the minute its date-time denotes) against the clock, on civil
// seconds (see DateText). Both are inline and test the minute before the flag: the timer tests
// every notice ten times a second, and the minutes sit in one array while each flag is a string of
// its own.
namespace DueCheck {

qint64 nowCivil();

// Due: its minute's second :00 is the current second, or came after `since` (the second of a
// previous pass that was a little late) and not after now; and it was not shown yet.
inline bool isDue(const std::optional<qint64> &minute, const Notice &n, qint64 now, qint64 since) {
    return minute && (*minute == now || (since < *minute && *minute <= now)) && n.isPending();
}

// Missed: its minute began strictly before the current second, and it was not shown yet.
// A text that is no date-time is neither due nor missed.
inline bool isMissed(const std::optional<qint64> &minute, const Notice &n, qint64 now) {
    return minute && now > *minute && n.isPending();
}

} // namespace DueCheck

#pragma once

#include "store/NoticeTable.h"

// The two tests of a notice against the clock, on civil seconds (see DateText).
namespace DueCheck {

qint64 nowCivil();

// Due: its minute's second :00 is the current second, and it was not shown yet.
bool isDue(const NoticeTable &t, qint32 i, qint64 now);

// Missed: its minute began strictly before the current second, and it was not shown yet.
// A text that is no date-time is neither due nor missed.
bool isMissed(const NoticeTable &t, qint32 i, qint64 now);

} // namespace DueCheck

#include "notify/DueCheck.h"

#include "base/Clock.h"
#include "store/DateText.h"

namespace DueCheck {

qint64 nowCivil() {
    return DateText::civilOf(Clock::now());
}

} // namespace DueCheck

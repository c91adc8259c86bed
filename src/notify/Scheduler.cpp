#include "notify/Scheduler.h"

#include "base/Clock.h"
#include "notify/DueCheck.h"
#include "store/DateText.h"

#include <QTimer>
#include <algorithm>

namespace {
// A pass later than this after the previous one means the machine slept or the clock jumped.
constexpr qint64 kClockJumpSeconds = 5;
} // namespace

Scheduler::Scheduler(QObject *parent) : QObject(parent), m_timer(new QTimer(this)) {
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &Scheduler::wake);
    m_timer->start();
    m_clockWatched = Clock::watchChanges(this, [this] {
        if (m_timer->isActive())
            wake();
    });
}

std::optional<Scheduler::Pass> Scheduler::beginPass() {
    if (m_inPass)
        return std::nullopt;
    m_inPass = true;
    // One clock reading per pass: a pass takes microseconds, far less than the second a notice
    // is due in.
    const qint64 now = DueCheck::nowCivil();
    const qint64 gap = m_lastPassSecond != 0 ? now - m_lastPassSecond : 0;
    // A pass that comes a little late (the process was busy or stopped for a moment) still shows
    // what fell due since the previous one; longer gaps go to the missed-notice question.
    if (gap > kClockJumpSeconds)
        queueMissedCheck();
    const qint64 since = gap > 0 && gap <= kClockJumpSeconds ? m_lastPassSecond : now;
    const bool newMinute = m_lastPassSecond / 60 != now / 60;
    m_lastPassSecond = now;
    return Pass{now, since, newMinute};
}

namespace {
QString keyOf(const NoticeTable &t, qint32 i) {
    return t.arrJikoku.at(i) + QLatin1Char('\t') + t.arrMes.at(i);
}
} // namespace

bool Scheduler::isToOffer(const NoticeTable &t, qint32 i, qint64 now) const {
    return DueCheck::isMissed(t, i, now) &&
           (m_declined.isEmpty() || !m_declined.contains(keyOf(t, i)));
}

bool Scheduler::anyToOffer(NoticeTable &t) {
    // One clock reading for the walk: reading it per notice made start-up with a long table
    // spend most of its time in the clock.
    const qint64 now = DueCheck::nowCivil();
    const qint32 last = t.lngLast;
    for (t.lngCount = 0; t.lngCount <= last; ++t.lngCount) {
        if (isToOffer(t, t.lngCount, now))
            return true;
    }
    return false;
}

void Scheduler::declineOffered(NoticeTable &t) {
    const qint64 now = DueCheck::nowCivil();
    const qint32 last = t.lngLast;
    for (t.lngCount = 0; t.lngCount <= last; ++t.lngCount) {
        if (isToOffer(t, t.lngCount, now))
            m_declined.insert(keyOf(t, t.lngCount));
    }
}

void Scheduler::wake() {
    if (m_asleep && !m_inPass) {
        // Take the clock to have run on steadily since the last pass, as passes during the sleep
        // would have seen it, but not beyond the second before the wake-up was due: a clock set
        // meanwhile then counts as a jump, and a wake-up late because the process was stopped as
        // a late pass.
        const qint64 steady = m_lastPassSecond + m_sleepClock.elapsed() / 1000;
        m_lastPassSecond = std::min(steady, m_wakeSecond - 1);
    }
    emit passDue();
    scheduleNextPass();
}

void Scheduler::scheduleNextPass() {
    const QDateTime now = Clock::now();
    const int intoMinute = now.time().second() * 1000 + now.time().msec();
    // Until a first pass has given the sleep a starting point, and through second :00, poll.
    m_asleep = m_clockWatched && m_lastPassSecond != 0 && intoMinute >= 1000;
    if (!m_asleep) {
        if (!m_timer->isActive() || m_timer->interval() != 100)
            m_timer->start(100);
        return;
    }
    const qint64 civil = DateText::civilOf(now);
    m_wakeSecond = civil - civil % 60 + 60;
    m_sleepClock.start();
    m_timer->start(60000 - intoMinute);
}

void Scheduler::queueMissedCheck() {
    if (m_missedCheckQueued || m_asking)
        return;
    m_missedCheckQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_missedCheckQueued = false;
        emit missedCheckDue();
    });
}

#include "notify/Scheduler.h"

#include "base/Clock.h"
#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "notify/DueCheck.h"
#include "store/DateText.h"

#include <QScopeGuard>
#include <QTimer>
#include <algorithm>

namespace {
// A pass later than this after the previous one means the machine slept or the clock jumped.
constexpr qint64 kClockJumpSeconds = 5;
} // namespace

Scheduler::Scheduler(const NoticeTable &table, QObject *parent)
    : QObject(parent), m_table(table), m_timer(new QTimer(this)) {
    m_timer->setObjectName(QStringLiteral("passTimer"));
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &Scheduler::wake);
    m_timer->start();
    m_clockWatched = Clock::watchChanges(this, [this] {
        if (m_timer->isActive())
            wake();
    });
}

void Scheduler::start() {
    m_timer->start(100);
}

void Scheduler::stop() {
    m_timer->stop();
}

bool Scheduler::isRunning() const {
    return m_timer->isActive();
}

Scheduler::Pass Scheduler::beginPass() {
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

QList<Notice> Scheduler::dueIn(const Pass &pass) const {
    QList<Notice> due;
    const auto &minutes = m_table.minutes();
    const QList<Notice> &notices = m_table.notices();
    for (size_t i = 0; i < minutes.size(); ++i) {
        if (DueCheck::isDue(minutes[i], notices[qsizetype(i)], pass.now, pass.since))
            due << notices[qsizetype(i)];
    }
    return due;
}

void Scheduler::runPass() {
    if (m_inPass)
        return;
    m_inPass = true;
    const auto end = qScopeGuard([this] { m_inPass = false; });
    const Pass pass = beginPass();
    // A notice written into the file just before its minute, before the watcher has seen the
    // writing settle, is still shown at its minute.
    if (pass.newMinute)
        emit minuteBegins();
    QList<Notice> due;
    ErrorTrap::run(Label::timerPass, [&] { due = dueIn(pass); });
    emit passed(due);
}

bool Scheduler::isToOffer(qint32 i, qint64 now) const {
    const Notice &n = m_table.notices()[i];
    return DueCheck::isMissed(m_table.minutes()[size_t(i)], n, now) &&
           (m_declined.isEmpty() || !m_declined.contains(identityOf(n))) &&
           !(m_isWaiting && m_isWaiting(n));
}

QList<qint32> Scheduler::toOffer(qint64 now) const {
    QList<qint32> rows;
    for (qint32 i = 0; i < m_table.size(); ++i) {
        if (isToOffer(i, now))
            rows << i;
    }
    return rows;
}

void Scheduler::checkMissed() {
    if (m_asking)
        return;
    ErrorTrap::run(Label::missedCheck, [&] {
        // One clock reading for the walk: reading it per notice made start-up with a long table
        // spend most of its time in the clock.
        if (m_table.isEmpty() || toOffer(DueCheck::nowCivil()).isEmpty())
            return;
        bool yes = true;
        {
            m_asking = true;
            const auto asked = qScopeGuard([this] { m_asking = false; });
            if (m_ask)
                yes = m_ask();
        }
        // The clock read again: the question may have been open for a while.
        const qint64 now = DueCheck::nowCivil();
        const QList<qint32> rows = toOffer(now);
        QList<Notice> notices;
        for (qint32 i : rows)
            notices << m_table.notices()[i];
        if (!yes) {
            for (const Notice &n : notices)
                m_declined.insert(identityOf(n));
            return;
        }
        emit missedAccepted(notices);
    });
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
    runPass();
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
        checkMissed();
    });
}

#include "main_window/F_Pirune.h"

#include "app/Clock.h"
#include "app/ErrorTrap.h"
#include "app/mdl_Cmn.h"
#include "notify/DueCheck.h"
#include "notify/frmMessage.h"
#include "store/DateText.h"

#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

namespace {
// A pass later than this after the previous one means the machine slept or the clock jumped.
constexpr qint64 kClockJumpSeconds = 5;

struct FlagGuard
{
    bool &flag;
    explicit FlagGuard(bool &f) : flag(f) { flag = true; }
    ~FlagGuard() { flag = false; }
};
} // namespace

void F_Pirune::Timer1_Timer()
{
    // No pass on a half-loaded table, and none inside a pass that waits in one of its boxes.
    if (!m_loaded || m_inPass)
        return;
    FlagGuard pass(m_inPass);
    ErrorTrap::run("Timer1_Timer Code:", [&] {
        // One clock reading per pass: a pass takes microseconds, far less than the second a
        // notice is due in.
        const qint64 now = DueCheck::nowCivil();
        const qint64 gap = m_lastPassSecond != 0 ? now - m_lastPassSecond : 0;
        // A pass that comes a little late (the process was busy or stopped for a moment) still
        // shows what fell due since the previous one; longer gaps go to the missed-notice question.
        if (gap > kClockJumpSeconds)
            scheduleMissedCheck();
        const qint64 since = gap > 0 && gap <= kClockJumpSeconds ? m_lastPassSecond : now;
        m_lastPassSecond = now;

        if (lngLast == -1)
            return;
        bool shown = false;
        const qint32 last = lngLast;
        for (lngCount = 0; lngCount <= last; ++lngCount) {
            if (DueCheck::isDue(*this, lngCount, now, since)) {
                multiMessageBox(Cmn_ConvMarktoCRLF(at(arrMes, lngCount)), QString());
                at(arrTuuti, lngCount) = QStringLiteral("1");
                shown = true;
            }
        }
        if (shown)
            SaveDataToFile();
    });
}

// A pass can only find something due in the first second of a minute. Where the system reports
// changes of the wall clock, Timer1 sleeps through the rest of the minute and wakes for that
// second.
void F_Pirune::timerWake()
{
    if (m_asleep && !m_inPass) {
        // Take the clock to have run on steadily since the last pass, as passes during the sleep
        // would have seen it, but not beyond the second before the wake-up was due: a clock set
        // meanwhile then counts as a jump, and a wake-up late because the process was stopped as
        // a late pass.
        const qint64 steady = m_lastPassSecond + m_sleepClock.elapsed() / 1000;
        m_lastPassSecond = std::min(steady, m_wakeSecond - 1);
    }
    Timer1_Timer();
    scheduleNextPass();
}

void F_Pirune::scheduleNextPass()
{
    const QDateTime now = Clock::now();
    const int intoMinute = now.time().second() * 1000 + now.time().msec();
    // Until a first pass has given the sleep a starting point, and through second :00, poll.
    m_asleep = m_clockWatched && m_lastPassSecond != 0 && intoMinute >= 1000;
    if (!m_asleep) {
        if (!Timer1->isActive() || Timer1->interval() != 100)
            Timer1->start(100);
        return;
    }
    const qint64 civil = DateText::civilOf(now);
    m_wakeSecond = civil - civil % 60 + 60;
    m_sleepClock.start();
    Timer1->start(60000 - intoMinute);
}

void F_Pirune::scheduleMissedCheck()
{
    if (m_missedCheckQueued || m_askingMituuti)
        return;
    m_missedCheckQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_missedCheckQueued = false;
        CheckMituuti();
    });
}

void F_Pirune::CheckMituuti()
{
    if (m_askingMituuti)
        return;
    ErrorTrap::run("CheckMituuti Code:", [&] {
        if (lngLast == -1)
            return;
        bool missed = false;
        qint32 last = lngLast;
        // One clock reading per loop, as in the timer pass: reading it per notice made start-up
        // with a long table spend most of its time in the clock.
        qint64 now = DueCheck::nowCivil();
        for (lngCount = 0; lngCount <= last; ++lngCount) {
            if (DueCheck::isMissed(*this, lngCount, now)) {
                missed = true;
                break;
            }
        }
        if (!missed)
            return;
        bool yes;
        {
            FlagGuard asking(m_askingMituuti);
            yes = MessageSeam::yesNo(QStringLiteral("未通知のメッセージがあります。\r\n表示しますか？"),
                                     QStringLiteral("確認"), MessageSeam::Answer::Yes);
        }
        if (!yes)
            return;
        bool shown = false;
        last = lngLast;
        now = DueCheck::nowCivil();
        for (lngCount = 0; lngCount <= last; ++lngCount) {
            if (DueCheck::isMissed(*this, lngCount, now)) {
                multiMessageBox(Cmn_ConvMarktoCRLF(at(arrMes, lngCount)), QString());
                at(arrTuuti, lngCount) = QStringLiteral("1");
                shown = true;
                // Opening windows takes time: a later notice may have become missed meanwhile.
                now = DueCheck::nowCivil();
            }
        }
        if (shown)
            SaveDataToFile();
    });
}

void F_Pirune::multiMessageBox(const QString &mes, const QString &title)
{
    ErrorTrap::run("multiMessageBox Code:", [&] {
        auto *w = new frmMessage();
        w->show();
        w->setWindowTitle(title.isEmpty() ? QStringLiteral("メッセージ") : title);
        w->txtMessage->setPlainText(mes);
    });
}

#pragma once

#include "store/NoticeTable.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <functional>

class QTimer;

// Decides what is due and what was missed. A pass can only find something due in second :00 of
// a minute: the timer ticks every 100 ms through that second and, where the system reports
// changes of the wall clock, sleeps through the rest of the minute. A pass that finds the clock
// jumped asks for the missed-notice check.
class Scheduler : public QObject {
    Q_OBJECT
public:
    explicit Scheduler(const NoticeTable &table, QObject *parent = nullptr);

    // One pass, as each tick of the timer makes it.
    void runPass();
    void start();
    void stop();
    bool isRunning() const;
    // Armed for the next minute rather than for the next tick.
    bool isAsleep() const { return m_asleep; }

    // The missed-notice question, which the window asks; true for yes.
    void setQuestion(std::function<bool()> ask) { m_ask = std::move(ask); }
    // Notices whose windows wait to open: not offered again while they wait.
    void setWaitingCheck(std::function<bool(const Notice &)> isWaiting) {
        m_isWaiting = std::move(isWaiting);
    }
    // Offers the notices missed now, unless the question is open already or the user declined
    // them earlier in this run.
    void checkMissed();
    // Runs the check from the event loop, once however often it is asked for.
    void queueMissedCheck();

signals:
    // A pass of a new minute is about to test the notices: the table's owner brings it up to date.
    void minuteBegins();
    // What one pass found due, in table order (often nothing).
    void passed(const QList<Notice> &due);
    // The user said yes to the question: these are to be shown, in table order.
    void missedAccepted(const QList<Notice> &notices);

private:
    struct Pass {
        qint64 now;
        qint64 since;
        bool newMinute;
    };
    Pass beginPass();
    QList<Notice> dueIn(const Pass &pass) const;
    bool isToOffer(qint32 i, qint64 now) const;
    QList<qint32> toOffer(qint64 now) const;
    void wake();
    void scheduleNextPass();

    const NoticeTable &m_table;
    QTimer *m_timer;
    std::function<bool()> m_ask;
    std::function<bool(const Notice &)> m_isWaiting;
    bool m_clockWatched = false; // the system tells when the wall clock is set
    bool m_inPass = false;       // a pass waits in one of its boxes
    bool m_asking = false;
    QSet<QString> m_declined; // identityOf() each
    bool m_missedCheckQueued = false;
    qint64 m_lastPassSecond = 0; // civil second of the previous pass
    bool m_asleep = false;       // armed for the next minute, not for the next 100 ms
    qint64 m_wakeSecond = 0;     // civil second that sleep ends at
    QElapsedTimer m_sleepClock;  // started when the sleep began
};

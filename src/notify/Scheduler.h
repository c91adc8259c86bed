#pragma once

#include "store/NoticeTable.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <optional>

class QTimer;

// When the due-notice passes and the missed-notice check run. A pass can only find something due
// in second :00 of a minute: the timer ticks every 100 ms through that second and, where the
// system reports changes of the wall clock, sleeps through the rest of the minute. A pass that
// finds the clock jumped asks for the missed-notice check.
class Scheduler : public QObject {
    Q_OBJECT
public:
    explicit Scheduler(QObject *parent = nullptr);

    QTimer *timer() const { return m_timer; }

    // The clock as one pass sees it: due is what fell due after `since` and not after `now`.
    struct Pass {
        qint64 now;
        qint64 since;
        bool newMinute; // the first pass of its minute
    };
    // Starts a pass; nullopt inside a pass that waits in one of its boxes.
    std::optional<Pass> beginPass();
    void endPass() { m_inPass = false; }

    // Notice i is missed and was not declined earlier in this run: the missed-notice question
    // offers it.
    bool isToOffer(const NoticeTable &t, qint32 i, qint64 now) const;
    // Whether any notice is to be offered at this moment; walks the table with lngCount.
    bool anyToOffer(NoticeTable &t);
    // The user said No: what was to be offered is not offered again.
    void declineOffered(NoticeTable &t);

    // While the missed-notice question is open no second one is asked or queued.
    bool isAsking() const { return m_asking; }
    void setAsking(bool asking) { m_asking = asking; }

    // Runs the missed-notice check from the event loop, once however often it is asked for.
    void queueMissedCheck();

signals:
    void passDue();
    void missedCheckDue();

private:
    void wake();
    void scheduleNextPass();

    QTimer *m_timer;
    bool m_clockWatched = false; // the system tells when the wall clock is set
    bool m_inPass = false;
    bool m_asking = false;
    QSet<QString> m_declined; // date-time TAB message
    bool m_missedCheckQueued = false;
    qint64 m_lastPassSecond = 0; // civil second of the previous pass
    bool m_asleep = false;       // armed for the next minute, not for the next 100 ms
    qint64 m_wakeSecond = 0;     // civil second that sleep ends at
    QElapsedTimer m_sleepClock;  // started when the sleep began
};

#pragma once

#include "store/NoticeTable.h"

#include <QHash>
#include <QObject>

class NoticeFile;

// The windows of notices found due or accepted at the missed-notice question, opened a batch at
// a time from the event loop so the tray and its menu keep answering. A notice is marked shown,
// through the Data file's owner, just as its window opens, and each batch is saved at once: the
// file says "1" exactly for the windows that opened, whatever reloads or an exit come between.
class MessageQueue : public QObject {
    Q_OBJECT
public:
    MessageQueue(NoticeTable &table, NoticeFile &file, QObject *parent = nullptr);

    // Queues these notices, leaving out those already waiting (a pass finds them again each tick).
    void add(const QList<Notice> &notices);
    bool isWaiting(const Notice &n) const {
        return !m_waitingCount.isEmpty() && m_waitingCount.contains(identityOf(n));
    }
    // The process ends: no more windows; the notices left keep "0".
    void clear();

private:
    void openBatch();
    void queueBatch(int delayMs);

    NoticeTable &m_table;
    NoticeFile &m_file;
    QList<Notice> m_waiting;
    QHash<QString, int> m_waitingCount; // by identityOf()
    bool m_batchQueued = false;
};

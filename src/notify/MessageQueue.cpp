#include "notify/MessageQueue.h"

#include "base/ErrorBox.h"
#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "notify/MessageWindow.h"
#include "store/NoticeFile.h"

#include <QApplication>
#include <QTimer>
#include <utility>

namespace {
constexpr int kBatch = 20;
// How often a batch held back by an open menu looks again.
constexpr int kMenuRetryMs = 100;
} // namespace

MessageQueue::MessageQueue(NoticeTable &table, NoticeFile &file, QObject *parent)
    : QObject(parent), m_table(table), m_file(file) {}

void MessageQueue::add(const QList<Notice> &notices) {
    // Identical notices due together each get a window: only as many as already wait are left out.
    QHash<QString, int> seen;
    for (const Notice &n : notices) {
        const QString id = identityOf(n);
        if (++seen[id] <= m_waitingCount.value(id))
            continue;
        m_waiting << n;
        ++m_waitingCount[id];
    }
    // The first batch at once, within the pass that found it due.
    if (!m_waiting.isEmpty() && !m_batchQueued)
        openBatch();
}

void MessageQueue::clear() {
    m_waiting.clear();
    m_waitingCount.clear();
}

void MessageQueue::queueBatch(int delayMs) {
    if (std::exchange(m_batchQueued, true))
        return;
    QTimer::singleShot(delayMs, this, [this] {
        m_batchQueued = false;
        openBatch();
    });
}

void MessageQueue::openBatch() {
    // A window shown while a menu is open closes the menu: the windows wait until it is used.
    if (QApplication::activePopupWidget() != nullptr) {
        if (!m_waiting.isEmpty())
            queueBatch(kMenuRetryMs);
        return;
    }
    const QList<Notice> batch = m_waiting.mid(0, kBatch);
    m_waiting.remove(0, batch.size());
    for (const Notice &n : batch) {
        const QString id = identityOf(n);
        if (--m_waitingCount[id] <= 0)
            m_waitingCount.remove(id);
    }
    // Marked in the file as it is now: one someone else wrote is read first, and a notice it no
    // longer holds pending (deleted, or shown by another) opens no window.
    const QList<qint32> rows = m_file.markShown(m_table, batch);
    bool marked = false;
    for (qsizetype k = 0; k < batch.size(); ++k) {
        if (rows[k] < 0)
            continue;
        marked = true;
        ErrorTrap::run(Label::openMessage, [&] {
            MessageWindow::open(marksToLineBreaksOrReport(batch[k].message), QString());
        });
    }
    if (marked)
        m_file.save(m_table);
    if (!m_waiting.isEmpty())
        queueBatch(0);
}

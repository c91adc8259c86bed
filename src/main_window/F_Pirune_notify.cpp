#include "main_window/F_Pirune.h"

#include "base/ErrorTrap.h"
#include "base/mdl_Cmn.h"
#include "notify/DueCheck.h"
#include "notify/Scheduler.h"
#include "notify/frmMessage.h"
#include "store/DataFileWatch.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTimer>
#include <utility>

void F_Pirune::Timer1_Timer() {
    const std::optional<Scheduler::Pass> pass = m_scheduler->beginPass();
    if (!pass)
        return;
    const auto end = qScopeGuard([this] { m_scheduler->endPass(); });
    ErrorTrap::run("Timer1_Timer Code:", [&] {
        // A notice written into the file just before its minute, before the watcher has seen the
        // writing settle, is still shown at its minute.
        if (pass->newMinute && !m_behind && !m_fileWatch->isCurrent())
            ReloadDataFile();
        if (lngLast != -1)
            showNotices(
                [&](qint32 i) { return DueCheck::isDue(*this, i, pass->now, pass->since); });
        // A failed save is tried again each minute.
        if (m_behind && pass->newMinute)
            SaveDataToFile();
    });
}

void F_Pirune::CheckMituuti() {
    if (m_scheduler->isAsking())
        return;
    ErrorTrap::run("CheckMituuti Code:", [&] {
        if (lngLast == -1 || !m_scheduler->anyToOffer(*this))
            return;
        bool yes;
        {
            m_scheduler->setAsking(true);
            const auto asked = qScopeGuard([this] { m_scheduler->setAsking(false); });
            yes = MessageSeam::yesNo(
                QStringLiteral("未通知のメッセージがあります。\r\n表示しますか？"),
                QStringLiteral("確認"), MessageSeam::Answer::Yes);
        }
        if (!yes) {
            m_scheduler->declineOffered(*this);
            return;
        }
        // The clock read again: the question may have been open for a while.
        const qint64 now = DueCheck::nowCivil();
        showNotices([&](qint32 i) { return m_scheduler->isToOffer(*this, i, now); });
    });
}

void F_Pirune::showNotices(const std::function<bool(qint32)> &show) {
    bool any = false;
    for (lngCount = 0; lngCount <= lngLast && !any; ++lngCount)
        any = show(lngCount);
    if (!any)
        return;
    // Flags are saved into the file as it is now: one changed meanwhile is read first.
    if (!m_behind && !m_fileWatch->isCurrent())
        ReloadDataFile();
    bool shown = false;
    const qint32 last = lngLast;
    for (lngCount = 0; lngCount <= last; ++lngCount) {
        if (!show(lngCount))
            continue;
        m_messagesToShow << Cmn_ConvMarktoCRLF(at(arrMes, lngCount));
        at(arrTuuti, lngCount) = QStringLiteral("1");
        shown = true;
    }
    if (shown) {
        m_saveAfterMessages = true;
        showQueuedMessages();
    }
}

// A flood of windows opens a batch at a time from the event loop, so the tray and its menu keep
// answering; the flags are saved once the last window is open.
void F_Pirune::showQueuedMessages() {
    constexpr int kBatch = 20;
    // A window shown while a menu is open closes the menu: the rest wait until it is used.
    const bool menuOpen = QApplication::activePopupWidget() != nullptr;
    for (int k = 0; k < kBatch && !menuOpen && !m_messagesToShow.isEmpty(); ++k)
        multiMessageBox(m_messagesToShow.takeFirst(), QString());
    if (!m_messagesToShow.isEmpty()) {
        if (!std::exchange(m_messageBatchQueued, true)) {
            QTimer::singleShot(menuOpen ? 100 : 0, this, [this] {
                m_messageBatchQueued = false;
                showQueuedMessages();
            });
        }
        return;
    }
    if (std::exchange(m_saveAfterMessages, false))
        SaveDataToFile();
}

void F_Pirune::multiMessageBox(const QString &mes, const QString &title) {
    ErrorTrap::run("multiMessageBox Code:", [&] {
        auto *w = new frmMessage();
        w->show();
        w->raise();
        w->setWindowTitle(title.isEmpty() ? QStringLiteral("メッセージ") : title);
        w->txtMessage->setPlainText(mes);
    });
}

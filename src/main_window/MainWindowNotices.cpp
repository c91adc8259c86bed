#include "main_window/MainWindow.h"

#include "base/ErrorBox.h"
#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "notify/MessageWindow.h"
#include "store/NoticeFile.h"

#include <QApplication>
#include <QTimer>
#include <utility>

bool MainWindow::askAboutMissedNotices() {
    return MessageSeam::yesNo(QStringLiteral("未通知のメッセージがあります。\r\n表示しますか？"),
                              QStringLiteral("確認"), MessageSeam::Answer::Yes);
}

// Marks the notices shown and opens their windows; the flags are saved once the windows are open.
void MainWindow::showNotices(const QList<Notice> &notices) {
    if (notices.isEmpty())
        return;
    bool shown = false;
    // Into the file as it is now: one someone else wrote is read first.
    const QList<qint32> rows = m_file->markShown(m_table, notices);
    for (qsizetype k = 0; k < notices.size(); ++k) {
        if (rows[k] < 0)
            continue;
        m_messagesToShow << marksToLineBreaksOrReport(notices[k].message);
        shown = true;
    }
    if (shown) {
        m_saveAfterMessages = true;
        showQueuedMessages();
    }
}

// A flood of windows opens a batch at a time from the event loop, so the tray and its menu keep
// answering; the flags are saved once the last window is open.
void MainWindow::showQueuedMessages() {
    constexpr int kBatch = 20;
    // A window shown while a menu is open closes the menu: the rest wait until it is used.
    const bool menuOpen = QApplication::activePopupWidget() != nullptr;
    for (int k = 0; k < kBatch && !menuOpen && !m_messagesToShow.isEmpty(); ++k)
        openMessageWindow(m_messagesToShow.takeFirst(), QString());
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
        m_file->save(m_table);
}

void MainWindow::openMessageWindow(const QString &text, const QString &title) {
    ErrorTrap::run(Label::openMessage, [&] { MessageWindow::open(text, title); });
}

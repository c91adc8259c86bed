#include "widgets/KeyGuard.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

KeyGuard::KeyGuard(QWidget *window)
    : QObject(window), m_window(window), m_keysIgnoredUntil(kQuietTime, Qt::PreciseTimer) {
    // Keys go to the focused control and to the platform window, never to the window itself.
    qApp->installEventFilter(this);
}

bool KeyGuard::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show && watched == m_window) {
        m_keysIgnoredUntil.setRemainingTime(kQuietTime, Qt::PreciseTimer);
        return false;
    }
    // Done: every event of the program passes here, and a flood opens thousands of windows.
    if (m_keysIgnoredUntil.hasExpired()) {
        qApp->removeEventFilter(this);
        deleteLater();
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (inWindow(watched))
            m_keysIgnoredUntil = QDeadlineTimer();
        return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride: // an accepted override keeps the mnemonics from firing
        if (!inWindow(watched))
            return false;
        // Someone still typing: wait until they stop and look.
        m_keysIgnoredUntil.setRemainingTime(kQuietTime, Qt::PreciseTimer);
        event->accept();
        return true;
    default:
        return false;
    }
}

bool KeyGuard::inWindow(const QObject *watched) const {
    if (watched->isWidgetType())
        return static_cast<const QWidget *>(watched)->window() == m_window;
    return watched == m_window->windowHandle();
}

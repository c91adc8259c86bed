#include "widgets/KeyGuard.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

KeyGuard::KeyGuard() : QObject(qApp) {
    // Keys go to the focused control and to the platform window, never to the window itself.
    qApp->installEventFilter(this);
}

void KeyGuard::guard(QWidget *window) {
    static KeyGuard *const filter = new KeyGuard();
    filter->m_keysIgnoredUntil.insert(window, QDeadlineTimer(kQuietTime, Qt::PreciseTimer));
    connect(window, &QObject::destroyed, filter,
            [window] { filter->m_keysIgnoredUntil.remove(window); });
}

QWidget *KeyGuard::guardedWindowOf(QObject *watched) const {
    if (watched->isWidgetType()) {
        QWidget *window = static_cast<QWidget *>(watched)->window();
        return m_keysIgnoredUntil.contains(window) ? window : nullptr;
    }
    for (auto it = m_keysIgnoredUntil.cbegin(); it != m_keysIgnoredUntil.cend(); ++it) {
        if (watched == it.key()->windowHandle())
            return it.key();
    }
    return nullptr;
}

bool KeyGuard::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    const bool key = type == QEvent::KeyPress || type == QEvent::KeyRelease ||
                     type == QEvent::ShortcutOverride; // an accepted override keeps mnemonics off
    const bool turned = (type == QEvent::Show || type == QEvent::MouseButtonPress) &&
                        watched->isWidgetType(); // a platform window's events come to it too
    if (m_keysIgnoredUntil.isEmpty() || !(key || turned))
        return false;
    QWidget *window = guardedWindowOf(watched);
    if (!window)
        return false;
    QDeadlineTimer &until = m_keysIgnoredUntil[window];
    if (type == QEvent::Show && watched == window)
        until.setRemainingTime(kQuietTime, Qt::PreciseTimer);
    else if (type == QEvent::MouseButtonPress)
        until = QDeadlineTimer(); // the user turned to it
    if (!key || until.hasExpired())
        return false;
    // Someone still typing: wait until they stop and look.
    until.setRemainingTime(kQuietTime, Qt::PreciseTimer);
    event->accept();
    return true;
}

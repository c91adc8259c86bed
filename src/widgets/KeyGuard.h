#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <chrono>

class QWidget;

// A window that pops up while the user types into another program takes none of those keys: it
// and its controls ignore keys until none has come for a moment since it was shown, or until the
// user clicks in it. One filter for the whole program, however many windows it guards (a flood
// opens thousands).
class KeyGuard : public QObject {
public:
    static constexpr std::chrono::milliseconds kQuietTime{1000};

    // Guards the window from now until it is gone.
    static void guard(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyGuard();
    QWidget *guardedWindowOf(QObject *watched) const;

    QHash<QWidget *, QDeadlineTimer> m_keysIgnoredUntil;
};

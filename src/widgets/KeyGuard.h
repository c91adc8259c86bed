#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <chrono>

class QWidget;

// A window that pops up while the user types into another program takes none of those keys: it
// and its controls ignore keys until none has come for a moment since it was shown, or until the
// user clicks in it. Lives as the window's child.
class KeyGuard : public QObject {
public:
    static constexpr std::chrono::milliseconds kQuietTime{1000};

    explicit KeyGuard(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool inWindow(const QObject *watched) const;

    QWidget *m_window;
    QDeadlineTimer m_keysIgnoredUntil;
};

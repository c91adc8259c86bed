#pragma once

#include <QObject>

// SIGTERM (a logout without a session manager, systemd, kill) delivered as a Qt signal, in the
// event loop, where the program may still save.
class TerminationSignal : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignal(QObject *parent = nullptr);

signals:
    void received();
};

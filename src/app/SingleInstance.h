#pragma once

#include <QLockFile>
#include <QObject>
#include <memory>

class QLocalServer;

// One running Pirune per Data file: a second start asks the first to show its window.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &dataDir, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process now owns the Data file (a lock left by a dead process is taken over).
    bool becomePrimary();
    // Tells the running instance to show its main window.
    bool askPrimaryToShow();

    QString serverName() const { return m_name; }

signals:
    void showRequested();

private:
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

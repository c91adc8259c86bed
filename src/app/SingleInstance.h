#pragma once

#include <QLockFile>
#include <QObject>
#include <memory>

class QLocalServer;

// One running Pirune per Data file: a second start asks the first to show its window.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Primary,  // this process owns the Data file
        Notified, // the running instance confirmed it shows its main window
        Failed,   // an instance holds the lock but did not answer
    };

    explicit SingleInstance(const QString &dataDir, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary, or hands over to the one that is; waits up to waitMs for a primary that
    // has taken the lock but does not listen yet (two starts at the same moment).
    Role claim(int waitMs = 5000);

    // True when this process now owns the Data file (a lock left by a dead process is taken over).
    bool becomePrimary();
    // Tells the running instance to show its main window; true once it has acknowledged.
    bool askPrimaryToShow(int waitMs = 2000);
    // Lets a new start become the primary; this process no longer owns the Data file.
    void release();

    QString serverName() const { return m_name; }
    QString lockFilePath() const { return m_lockPath; }

signals:
    void showRequested();

private:
    void listen();
    void keepFresh();

    QString m_name;
    QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QTimer;

// One running Pirune per Data file, whoever reaches it and by whichever path: a second start by
// the same user asks the first to show its window.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Primary,  // this process owns the Data file
        Notified, // the running instance confirmed it shows its main window
        Failed,   // another Pirune holds the Data file and did not answer
    };

    explicit SingleInstance(const QString &dataFile, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary, or hands over to the one that is; waits up to waitMs for a primary that
    // has taken the lock but does not listen yet (two starts at the same moment).
    Role claim(int waitMs = 5000);

    // Lets a new start become the primary; this process no longer owns the Data file.
    void release();

    // Before each save. A lock file removed or replaced meanwhile, or a Data file replaced when it
    // is what is locked, is locked again at once; false, and lockLost() once, when another Pirune
    // locked it first. True also where nothing could be locked (said in a box).
    bool stillHoldsLock();

signals:
    void showRequested();
    // Another Pirune may be running on the Data file: this one must no longer save it.
    void lockLost();

private:
    enum class Claim { Primary, Ours, Others };
    Claim tryClaim();
    bool askPrimaryToShow(int waitMs = 2000);
    void listen();
    void keepFresh();
    void tell(const QString &text);
#ifdef Q_OS_UNIX
    void hold(int fd, const QString &path);
    bool heldInPlace() const;
    void watchFolder();
#endif

    QString m_dataFile;
    QString m_lockPath; // beside the Data file: keeps out every other Pirune that reaches it
    QString m_name;     // this user's socket
#ifdef Q_OS_UNIX
    QString m_ownLockPath; // beside the socket: one of this user's per folder, also where the other
                           // cannot be had
    int m_fd = -1, m_ownFd = -1;
    QString m_heldPath; // what m_fd locks: the lock file, or the Data file where that cannot be had
    quint64 m_heldDevice = 0, m_heldInode = 0;
    QTimer *m_recheck = nullptr;
    bool m_lost = false;
#else
    void *m_lock = nullptr; // the lock file's handle
#endif
    QLocalServer *m_server = nullptr;
    QStringList m_told;
};

#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {
constexpr char kRequest[] = "show\n";
constexpr char kAnswer[] = "ok\n";
} // namespace

SingleInstance::SingleInstance(const QString &dataDir, QObject *parent) : QObject(parent)
{
    const QString canonical = QFileInfo(dataDir).canonicalFilePath().isEmpty()
                                  ? QFileInfo(dataDir).absoluteFilePath()
                                  : QFileInfo(dataDir).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_name = QStringLiteral("pirune-%1-%2").arg(QDir::home().dirName(), QString::fromLatin1(hash));
    m_lockPath = QDir(QDir::tempPath()).filePath(m_name + QStringLiteral(".lock"));
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // The lock is never old enough to be taken away; only its owner's death frees it.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::claim(int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (becomePrimary())
            return Role::Primary;
        if (askPrimaryToShow())
            return Role::Notified;
        if (deadline.hasExpired())
            return Role::Failed;
        QThread::msleep(50);
    }
}

bool SingleInstance::becomePrimary()
{
    if (!m_lock->tryLock(0)) {
        // Without a usable lock location we cannot tell; running is better than refusing.
        return m_lock->error() != QLockFile::LockFailedError;
    }
    listen();
    return true;
}

void SingleInstance::listen()
{
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            const auto answer = [this, s] {
                if (!s->canReadLine())
                    return;
                if (s->readLine().startsWith("show")) {
                    s->write(kAnswer);
                    s->flush();
                    emit showRequested();
                }
            };
            connect(s, &QLocalSocket::readyRead, this, answer);
            // The request may already be waiting when the connection is taken.
            answer();
        }
    });

    // Tidiers of the temporary folder remove files that have not changed for days; the program
    // runs for weeks, and a removed lock would let a second instance write the same Data file.
    auto *freshen = new QTimer(this);
    connect(freshen, &QTimer::timeout, this, &SingleInstance::keepFresh);
    freshen->start(std::chrono::hours(1));
}

void SingleInstance::keepFresh()
{
#ifdef Q_OS_UNIX
    for (const QString &path : {m_lockPath, m_server ? m_server->fullServerName() : QString()}) {
        if (!path.isEmpty())
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0);
    }
#endif
}

bool SingleInstance::askPrimaryToShow(int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    QLocalSocket s;
    s.connectToServer(m_name);
    if (!s.waitForConnected(int(deadline.remainingTime())))
        return false;
    s.write(kRequest);
    if (!s.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return s.readLine() == kAnswer;
}

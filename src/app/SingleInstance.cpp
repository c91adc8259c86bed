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
#include <QStandardPaths>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
constexpr char kRequest[] = "show\n";
constexpr char kAnswer[] = "ok\n";

#ifdef Q_OS_UNIX
bool isPrivateFolder(const QString &path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The lock and the socket go where no other account can create them first: a lock or socket of
// another user under our names would otherwise stop every start of Pirune.
QString privateFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    // Without one, a folder of our own in the shared temporary folder, or in the home folder when
    // another account has taken that name.
    const QStringList candidates = {
        QDir(QDir::tempPath()).filePath(QStringLiteral("pirune-%1").arg(::geteuid())),
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
            .filePath(QStringLiteral("pirune")),
    };
    for (const QString &folder : candidates) {
        QDir().mkpath(QFileInfo(folder).path());
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
        if (isPrivateFolder(folder))
            return folder;
    }
    return candidates.last();
}

bool fromThisUser(qintptr socket) {
#ifdef SO_PEERCRED
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
#else
    uid_t uid;
    gid_t gid;
    return ::getpeereid(int(socket), &uid, &gid) == 0 && uid == ::geteuid();
#endif
}
#endif
} // namespace

SingleInstance::SingleInstance(const QString &dataDir, QObject *parent) : QObject(parent) {
    const QString canonical = QFileInfo(dataDir).canonicalFilePath().isEmpty()
                                  ? QFileInfo(dataDir).absoluteFilePath()
                                  : QFileInfo(dataDir).canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
#ifdef Q_OS_UNIX
    m_name = QDir(privateFolder()).filePath(QStringLiteral("pirune-") + QString::fromLatin1(hash));
    m_lockPath = m_name + QStringLiteral(".lock");
#else
    m_name = QStringLiteral("pirune-%1-%2").arg(QDir::home().dirName(), QString::fromLatin1(hash));
    m_lockPath = QDir(QDir::tempPath()).filePath(m_name + QStringLiteral(".lock"));
#endif
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // The lock is never old enough to be taken away; only its owner's death frees it.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::claim(int waitMs) {
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

bool SingleInstance::becomePrimary() {
    if (!m_lock->tryLock(0)) {
        // Without a usable lock location we cannot tell; running is better than refusing.
        return m_lock->error() != QLockFile::LockFailedError;
    }
    listen();
    return true;
}

void SingleInstance::listen() {
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
#ifdef Q_OS_UNIX
            if (!fromThisUser(s->socketDescriptor())) {
                s->abort();
                s->deleteLater();
                continue;
            }
#endif
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

void SingleInstance::release() {
    delete m_server; // closing removes the socket
    m_server = nullptr;
    m_lock->unlock();
}

void SingleInstance::keepFresh() {
#ifdef Q_OS_UNIX
    if (!m_lock->isLocked())
        return;
    for (const QString &path : {m_lockPath, m_server ? m_server->fullServerName() : QString()}) {
        if (!path.isEmpty())
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0);
    }
#endif
}

bool SingleInstance::askPrimaryToShow(int waitMs) {
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

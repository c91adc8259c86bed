#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

SingleInstance::SingleInstance(const QString &dataDir, QObject *parent) : QObject(parent)
{
    const QString canonical = QFileInfo(dataDir).canonicalFilePath().isEmpty()
                                  ? QFileInfo(dataDir).absoluteFilePath()
                                  : QFileInfo(dataDir).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_name = QStringLiteral("pirune-%1-%2").arg(QDir::home().dirName(), QString::fromLatin1(hash));
    m_lock = std::make_unique<QLockFile>(QDir(QDir::tempPath()).filePath(m_name + QStringLiteral(".lock")));
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::becomePrimary()
{
    if (!m_lock->tryLock(0)) {
        // Without a usable lock location we cannot tell; running is better than refusing.
        return m_lock->error() != QLockFile::LockFailedError;
    }
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(m_name)) {
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *s = m_server->nextPendingConnection()) {
                connect(s, &QLocalSocket::readyRead, this, [this, s] {
                    if (s->readAll().contains("show"))
                        emit showRequested();
                });
                connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    return true;
}

bool SingleInstance::askPrimaryToShow()
{
    QLocalSocket s;
    s.connectToServer(m_name);
    if (!s.waitForConnected(2000))
        return false;
    s.write("show\n");
    s.flush();
    s.waitForBytesWritten(2000);
    s.disconnectFromServer();
    return true;
}

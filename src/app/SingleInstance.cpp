#include "app/SingleInstance.h"

#include "base/MessageSeam.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QCryptographicHash>
#include <qt_windows.h>
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

// The socket and this user's lock go where no other account can create them first: a lock or
// socket of another user under our names would otherwise stop every start of Pirune.
QString privateFolder() {
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
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

bool samePlace(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool stillNamed(int fd, const QByteArray &path) {
    struct stat held, named;
    return ::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 &&
           samePlace(held, named);
}

enum class Lock { Held, Busy, None };

Lock closed(int &fd, Lock result = Lock::None) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    return result;
}

// Locks the file at path with a lock that ends with the process. A file we can only read (another
// account's) is tested, never held, or it would keep out those who can write the folder; free, it
// makes way for one of ours where we may remove it.
Lock lockFile(const QString &path, int &fd) {
    const QByteArray name = QFile::encodeName(path);
    constexpr int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC; // no link or FIFO laid in our way
    for (;;) {
        bool writable = true;
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | flags, 0644);
        if (fd >= 0)
            ::fchmod(fd, 0644); // whatever the umask: other accounts open it to test it
        else if ((fd = ::open(name.constData(), O_RDWR | flags)) < 0) {
            fd = ::open(name.constData(), O_RDONLY | flags);
            writable = false;
        }
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return closed(fd);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            // Over NFS flock locks the whole file, exclusively only on a writable open; a shared
            // lock still meets the holder's.
            const bool busy =
                errno == EWOULDBLOCK ||
                (errno == EBADF && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK);
            return closed(fd, busy ? Lock::Busy : Lock::None);
        }
        if (stillNamed(fd, name)) {
            if (writable)
                return Lock::Held;
            if (::unlink(name.constData()) != 0)
                return closed(fd);
        }
        closed(fd); // removed meanwhile, by us or by another start: once more
    }
}

// In a folder where anyone may add files but only their owner remove them (the sticky bit, as in
// /tmp), another account may lay the lock file before us and hold it for ever. Its lock keeps us
// out only when its owner could also replace the Data file (root, the folder's owner or the
// file's), and so run a Pirune that saves it.
bool lockGuardsDataFile(const QString &lockPath, const QString &dataFile) {
    struct stat lock, folder, data;
    if (::lstat(QFile::encodeName(lockPath).constData(), &lock) != 0 ||
        lock.st_uid == ::geteuid() || lock.st_uid == 0)
        return true;
    if (::stat(QFile::encodeName(QFileInfo(dataFile).absolutePath()).constData(), &folder) != 0 ||
        !(folder.st_mode & S_ISVTX) || folder.st_uid == lock.st_uid)
        return true;
    return ::stat(QFile::encodeName(dataFile).constData(), &data) != 0 ||
           data.st_uid == lock.st_uid;
}

// Where no lock file can be had, every Pirune locks the Data file itself, through a descriptor
// that never writes: saves replace the file by a rename, and the new one is locked again.
Lock lockDataFile(const QString &path, int &fd) {
    const QByteArray name = QFile::encodeName(path);
    for (;;) {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return closed(fd);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return closed(fd, errno == EWOULDBLOCK ? Lock::Busy : Lock::None);
        if (stillNamed(fd, name))
            return Lock::Held;
        closed(fd); // replaced meanwhile
    }
}

// A Pirune that holds the lock file still meets one that had to lock the Data file instead.
bool dataFileLocked(const QString &path) {
    int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const bool busy = fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    closed(fd);
    return busy;
}

// Why the lock file could not be had. One in the way is worth saying even where the Data file is
// locked instead; one that merely cannot be made (a read-only folder) is not.
struct Obstacle {
    QString text;
    bool inTheWay = true;
};

Obstacle obstacleAt(const QString &lockPath) {
    struct stat st;
    const QString path = QDir::toNativeSeparators(lockPath);
    if (::lstat(QFile::encodeName(lockPath).constData(), &st) != 0)
        return {QStringLiteral("ロックファイル %1 を作れません。").arg(path), false};
    if (!S_ISREG(st.st_mode))
        return {QStringLiteral("ロックファイル %1 が通常のファイルではありません。").arg(path)};
    if (st.st_uid != ::geteuid())
        return {QStringLiteral("ロックファイル %1 は別のアカウントのもので、削除できません。")
                    .arg(path)};
    return {QStringLiteral("ロックファイル %1 をロックできません。").arg(path), false};
}

struct Taken {
    Lock lock = Lock::None;
    int fd = -1;
    QString path;   // what fd locks
    QString notice; // what the user must know: a lock that keeps out less than it should
};

Taken takeLock(const QString &lockPath, const QString &dataFile) {
    Taken t;
    const Lock onFile = lockFile(lockPath, t.fd);
    if (onFile == Lock::Held && !dataFileLocked(dataFile))
        return {Lock::Held, t.fd, lockPath, {}};
    if (onFile == Lock::Held || (onFile == Lock::Busy && lockGuardsDataFile(lockPath, dataFile))) {
        closed(t.fd);
        t.lock = Lock::Busy;
        return t;
    }
    const Obstacle why = obstacleAt(lockPath);
    t.lock = lockDataFile(dataFile, t.fd);
    if (t.lock == Lock::Held) {
        t.path = dataFile;
        if (why.inTheWay)
            t.notice = why.text + QStringLiteral("\n代わりにデータファイルをロックして続けます。");
    } else if (t.lock == Lock::None) {
        const QString unguarded = QStringLiteral(
            "このまま続けますが、同じデータファイルを使う Pirune が同時に動くのを防げません。");
        t.notice = why.text + QLatin1Char('\n') + unguarded;
    }
    return t;
}
#else
std::wstring native(const QString &path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// The folder itself, whichever path leads to it (a mapped drive, a UNC path, a junction); its
// full path where the system does not tell.
QString folderIdentity(const QString &folder) {
    const HANDLE h = CreateFileW(native(folder).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION id{};
    const bool known = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &id);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!known)
        return QString::fromLatin1(
            QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    const quint64 index = quint64(id.nFileIndexHigh) << 32 | id.nFileIndexLow;
    return QStringLiteral("%1-%2").arg(id.dwVolumeSerialNumber, 0, 16).arg(index, 0, 16);
}
#endif
} // namespace

SingleInstance::SingleInstance(const QString &dataFile, QObject *parent)
    : QObject(parent), m_dataFile(dataFile), m_lockPath(dataFile + QStringLiteral(".lock")) {
#ifdef Q_OS_UNIX
    // Named by the folder itself rather than its path, so that a start through another path (a bind
    // mount) finds the same socket.
    struct stat folder {};
    ::stat(QFile::encodeName(QFileInfo(dataFile).absolutePath()).constData(), &folder);
    m_name = QDir(privateFolder())
                 .filePath(QStringLiteral("pirune-%1-%2")
                               .arg(qulonglong(folder.st_dev), 0, 16)
                               .arg(qulonglong(folder.st_ino), 0, 16));
    m_ownLockPath = m_name + QStringLiteral(".lock");
#else
    m_name = QStringLiteral("pirune-%1-%2")
                 .arg(qEnvironmentVariable("USERNAME"),
                      folderIdentity(QFileInfo(dataFile).absolutePath()));
#endif
}

SingleInstance::~SingleInstance() {
    release();
}

SingleInstance::Role SingleInstance::claim(int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    for (int others = 0;;) {
        switch (tryClaim()) {
        case Claim::Primary:
#ifdef Q_OS_UNIX
            watchFolder();
#endif
            return Role::Primary;
        case Claim::Ours:
            if (askPrimaryToShow())
                return Role::Notified;
            break;
        case Claim::Others:
            // Not a holder that is just ending, nor another account testing the lock this moment.
            if (++others == 4)
                return Role::Failed;
            break;
        }
        if (deadline.hasExpired())
            return Role::Failed;
        QThread::msleep(50);
    }
}

SingleInstance::Claim SingleInstance::tryClaim() {
#ifdef Q_OS_UNIX
    // Ours first: one of this user's Pirunes on this folder, by any path, holds it and answers on
    // the socket. Held by another only beside the Data file, it is one we cannot reach.
    if (lockFile(m_ownLockPath, m_ownFd) == Lock::Busy)
        return Claim::Ours;
    const Taken taken = takeLock(m_lockPath, m_dataFile);
    if (taken.lock == Lock::Busy) {
        closed(m_ownFd);
        return Claim::Others;
    }
    // Running with a lock that keeps out less, or none, is better than refusing; but not unsaid.
    hold(taken.fd, taken.path);
    tell(taken.notice);
#else
    // Open and shared with no one until this process ends: every other Pirune that reaches the
    // file, by any path and from any account, is kept out.
    m_lock = CreateFileW(native(m_lockPath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_lock == INVALID_HANDLE_VALUE) {
        m_lock = nullptr;
        if (GetLastError() == ERROR_SHARING_VIOLATION)
            return Claim::Ours; // another account's does not answer, and claim() says so
        tell(QStringLiteral("ロックファイル %1 を作れません。\n"
                            "このまま続けますが、同じデータファイルを使う Pirune "
                            "が同時に動くのを防げません。")
                 .arg(QDir::toNativeSeparators(m_lockPath)));
    }
#endif
    listen();
    return Claim::Primary;
}

void SingleInstance::listen() {
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        tell(QStringLiteral(
                 "あとから起動した Pirune が、動いているこの Pirune に連絡できません。\n") +
             m_server->errorString());
        return;
    }
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
    // runs for weeks, and without its lock and socket a second start would run beside it or not
    // reach it.
    auto *freshen = new QTimer(this);
    connect(freshen, &QTimer::timeout, this, &SingleInstance::keepFresh);
    freshen->start(std::chrono::hours(1));
}

void SingleInstance::release() {
    delete m_server; // closing removes the socket
    m_server = nullptr;
#ifdef Q_OS_UNIX
    if (m_recheck)
        m_recheck->stop();
    closed(m_fd);
    closed(m_ownFd);
#else
    if (m_lock)
        CloseHandle(m_lock);
    m_lock = nullptr;
#endif
}

bool SingleInstance::stillHoldsLock() {
#ifdef Q_OS_UNIX
    if (m_lost || m_fd < 0 || heldInPlace())
        return !m_lost;
    Taken taken = takeLock(m_lockPath, m_dataFile);
    // A start that tests the lock holds it for a moment; one that took it keeps it.
    for (int tries = 0; taken.lock == Lock::Busy && tries < 3; ++tries) {
        QThread::msleep(20);
        taken = takeLock(m_lockPath, m_dataFile);
    }
    if (taken.lock == Lock::Busy) {
        m_lost = true;
        closed(m_fd);
        emit lockLost();
        return false;
    }
    hold(taken.fd, taken.path);
    tell(taken.notice);
#endif
    return true;
}

#ifdef Q_OS_UNIX
void SingleInstance::hold(int fd, const QString &path) {
    closed(m_fd);
    m_fd = fd;
    m_heldPath = path;
    struct stat st {};
    ::fstat(fd, &st);
    m_heldDevice = st.st_dev;
    m_heldInode = st.st_ino;
}

bool SingleInstance::heldInPlace() const {
    const QByteArray path = QFile::encodeName(m_heldPath);
    struct stat named;
    // The Data file may be a link to where it is kept; the lock file is never followed.
    const int found = m_heldPath == m_dataFile ? ::stat(path.constData(), &named)
                                               : ::lstat(path.constData(), &named);
    return found == 0 && S_ISREG(named.st_mode) && quint64(named.st_dev) == m_heldDevice &&
           quint64(named.st_ino) == m_heldInode;
}

// A lock file removed or replaced is locked again at once, before a start meanwhile can take it.
void SingleInstance::watchFolder() {
    if (m_recheck)
        return;
    m_recheck = new QTimer(this);
    m_recheck->setSingleShot(true);
    m_recheck->setInterval(100); // a save and a folder's tidying come as bursts of events
    connect(m_recheck, &QTimer::timeout, this, &SingleInstance::stillHoldsLock);
    auto *watch = new QFileSystemWatcher(this);
    watch->addPath(QFileInfo(m_dataFile).absolutePath());
    connect(watch, &QFileSystemWatcher::directoryChanged, m_recheck, qOverload<>(&QTimer::start));
}
#endif

// Said once the program runs: not in the middle of a start or a save.
void SingleInstance::tell(const QString &text) {
    if (text.isEmpty() || m_told.contains(text))
        return;
    m_told.append(text);
    QTimer::singleShot(0, this, [text] { MessageSeam::okBox(text); });
}

void SingleInstance::keepFresh() {
#ifdef Q_OS_UNIX
    if (m_ownFd < 0)
        return;
    for (const QString &path : {m_ownLockPath, m_server ? m_server->fullServerName() : QString()}) {
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

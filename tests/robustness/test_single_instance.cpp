// Starts the real executable, copied into temporary folders: one Data file has one running
// Pirune, a further start hands over to it, a killed one does not lock the next start out, and
// another account can neither stop nor reach it.
#include "app/SingleInstance.h"

#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <list>
#include <pwd.h>
#include <unistd.h>

namespace {
const QByteArray kData = "2099/12/31 23:59\tテスト\t0\r\n"; // nothing falls due, so nothing writes it

bool ended(QProcess *p, int ms) { return p->state() == QProcess::NotRunning || p->waitForFinished(ms); }

struct Folder {
    QTemporaryDir dir;
    std::list<QProcess> procs;
    Folder() {
        QFile f(dir.filePath("Pirune.dat"));
        if (!QFile::copy(PIRUNE_EXE, dir.filePath("Pirune")) || !f.open(QIODevice::WriteOnly) || f.write(kData) < 0)
            qFatal("cannot make the folder");
    }
    ~Folder() {
        for (QProcess &p : procs) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    QProcess *start(QStringList wrap = {}, const QString &runtime = {}) {
        QProcess &p = procs.emplace_back();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!runtime.isEmpty())
            env.insert("XDG_RUNTIME_DIR", runtime);
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        wrap << dir.filePath("Pirune");
        p.start(wrap.takeFirst(), wrap);
        return p.waitForStarted(5000) ? &p : nullptr;
    }
    // The primary has taken the lock and read the Data file once its lock file names it.
    bool isPrimary(QProcess *p) {
        QFile lock(SingleInstance(dir.path()).lockFilePath());
        for (int k = 0; k < 500 && !ended(p, 20); ++k, lock.close())
            if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLongLong() == p->processId())
                return !ended(p, 300);
        return false;
    }
    QByteArray data() const {
        QFile f(dir.filePath("Pirune.dat"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
    QTemporaryDir m_runtime; // the instances' lock files and sockets, gone with the test
private slots:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }

    void killedPrimaryDoesNotLockOut() {
        Folder f, other;
        for (int round = 0; round < 2; ++round) {
            QProcess *primary = f.start();
            QVERIFY(primary && f.isPrimary(primary));
            ::kill(pid_t(primary->processId()), SIGKILL);
            QVERIFY(primary->waitForFinished(5000) && QFileInfo::exists(SingleInstance(f.dir.path()).lockFilePath()));
        }
        QProcess *next = f.start(), *elsewhere = other.start();
        QVERIFY(next && f.isPrimary(next) && elsewhere && other.isPrimary(elsewhere));
        QProcess *after = f.start();
        QVERIFY(after && after->waitForFinished(10000));
        QCOMPARE(after->exitCode(), 0);
        QVERIFY(!ended(next, 200));
        QCOMPARE(f.data(), kData);
    }

    void simultaneousStartsLeaveOneRunning() {
        Folder f;
        for (int round = 0; round < 3; ++round) {
            QProcess *a = f.start(), *b = f.start();
            QVERIFY(a && b);
            for (int k = 0; k < 200 && !ended(a, 25) && !ended(b, 25); ++k) {
            }
            QProcess *loser = ended(a, 0) ? a : b, *winner = loser == a ? b : a;
            QVERIFY2(ended(loser, 0) && loser->exitCode() == 0, "no start handed over");
            QVERIFY(!ended(winner, 300));
            winner->kill();
            winner->waitForFinished(5000);
        }
        QCOMPARE(f.data(), kData);
    }

    // Root squats the names the account's Pirune would use, as any other account could: its own
    // Pirune, in the same folder, under the account's home folder name. Then it asks the
    // account's Pirune to show its window.
    void anotherAccountCanNeitherStopNorReachIt() {
        if (::geteuid() != 0)
            QSKIP("needs root to make a second account");
        const QString name = QStringLiteral("pirune-t%1").arg(::getpid());
        QCOMPARE(QProcess::execute("useradd", {"-M", name}), 0);
        const QByteArray home = qgetenv("HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", home);
            QProcess::execute("userdel", {name});
        });
        const passwd *account = ::getpwnam(qPrintable(name));
        QVERIFY(account);
        qputenv("HOME", account->pw_dir);
        Folder f;
        QTemporaryDir runtime;
        for (const QString &path : {f.dir.path(), f.dir.filePath("Pirune"), f.dir.filePath("Pirune.dat"), runtime.path()})
            QVERIFY(::chown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) == 0);
        QProcess *squatter = f.start();
        QVERIFY(squatter && f.isPrimary(squatter));
        QProcess *own = f.start({"setpriv", QString("--reuid=%1").arg(account->pw_uid),
                                 QString("--regid=%1").arg(account->pw_gid), "--clear-groups", "--"}, runtime.path());
        QStringList sockets;
        for (int k = 0; k < 500 && sockets.isEmpty() && own && !ended(own, 20); ++k)
            sockets = QDir(runtime.path()).entryList({"pirune-*"}, QDir::System);
        QVERIFY2(own && !ended(own, 0), "the account's Pirune was stopped");
        QCOMPARE(sockets.size(), 1);
        QLocalSocket ask;
        ask.connectToServer(runtime.filePath(sockets.first()));
        QVERIFY(ask.waitForConnected(2000));
        ask.write("show\n");
        ask.waitForReadyRead(2000);
        QCOMPARE(ask.readAll(), QByteArray());
        QVERIFY(!ended(own, 200));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"

// Starts the real executable, copied into temporary folders: one Data file has one running Pirune,
// a crash does not leave the next start locked out, and another account can neither stop nor reach it.
#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

// A notice far in the future: nothing becomes due while the test runs, so nothing writes the file.
const QByteArray kData = "2099/12/31 23:59\tテスト\t0\r\n";

struct Folder
{
    QTemporaryDir dir;
    QString exe = dir.filePath(QStringLiteral("Pirune"));
    QString data = dir.filePath(QStringLiteral("Pirune.dat"));
    Folder()
    {
        QFile::copy(QStringLiteral(PIRUNE_EXE), exe);
        QFile f(data);
        if (f.open(QIODevice::WriteOnly))
            f.write(kData);
    }
    QByteArray bytes() const
    {
        QFile f(data);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

// waitForFinished is false for a process that had already ended, so look at the state first.
bool ended(QProcess *p, int ms) { return p->state() == QProcess::NotRunning || p->waitForFinished(ms); }

template <typename Done> bool waitFor(Done done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 10000)
            return false;
    }
    return true;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime; // the instances' lock files and sockets, gone with the test
    std::vector<std::unique_ptr<QProcess>> m_procs;

    QProcess *start(const Folder &f, QStringList wrap = {}, const QString &runtime = {})
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!runtime.isEmpty())
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(QDir::tempPath());
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        wrap << f.exe;
        p->start(wrap.takeFirst(), wrap);
        m_procs.push_back(std::move(p));
        return m_procs.back()->waitForStarted(5000) ? m_procs.back().get() : nullptr;
    }

    // The primary has taken the lock and read the Data file once its lock file names it.
    static bool waitUntilPrimary(const Folder &f, QProcess *p)
    {
        const QString lock = SingleInstance(f.dir.path()).lockFilePath();
        return waitFor([&] {
                   QFile l(lock);
                   return ended(p, 20) ||
                          (l.open(QIODevice::ReadOnly) && l.readLine().trimmed().toLongLong() == p->processId());
               }) &&
               !ended(p, 300);
    }

private slots:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }

    void cleanup()
    {
        for (auto &p : m_procs) {
            p->kill();
            p->waitForFinished(5000);
        }
        m_procs.clear();
    }

    void otherFolderIsAnotherInstance()
    {
        Folder a, b;
        QProcess *pa = start(a);
        QVERIFY(pa && waitUntilPrimary(a, pa));
        QProcess *pb = start(b);
        QVERIFY(pb && waitUntilPrimary(b, pb));
        QVERIFY(!ended(pa, 200));
    }

    void killedPrimaryDoesNotBlockTheNextStart()
    {
        Folder f;
        for (int round = 0; round < 3; ++round) {
            QProcess *primary = start(f);
            QVERIFY2(primary && waitUntilPrimary(f, primary), qPrintable(QStringLiteral("round %1").arg(round)));
            ::kill(pid_t(primary->processId()), SIGKILL);
            QVERIFY(primary->waitForFinished(5000));
            QVERIFY(QFileInfo::exists(SingleInstance(f.dir.path()).lockFilePath()));
        }
        QProcess *next = start(f);
        QVERIFY(next && waitUntilPrimary(f, next));
        // ...and hands a further start over like any primary, leaving the file alone.
        QProcess *after = start(f);
        QVERIFY(after && after->waitForFinished(10000));
        QCOMPARE(after->exitCode(), 0);
        QVERIFY(!ended(next, 200));
        QCOMPARE(f.bytes(), kData);
    }

    void simultaneousStartsLeaveOneRunning()
    {
        Folder f;
        for (int round = 0; round < 4; ++round) {
            QProcess *a = start(f);
            QProcess *b = start(f);
            QVERIFY(a && b);
            QVERIFY2(waitFor([&] { return ended(a, 20) || ended(b, 20); }), "neither start ended");
            QProcess *loser = ended(a, 0) ? a : b;
            QProcess *winner = loser == a ? b : a;
            QCOMPARE(loser->exitCode(), 0);
            QVERIFY(!ended(winner, 300));
            winner->kill();
            winner->waitForFinished(5000);
        }
        QCOMPARE(f.bytes(), kData);
    }

    // Root squats the names the account's Pirune would use, as any other account could: its own
    // Pirune, in the same folder, under the account's home folder name. Then it asks the
    // account's Pirune to show its window.
    void anotherAccountCanNeitherStopNorReachIt()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make a second account");
        const QString name = QStringLiteral("pirune-t%1").arg(::getpid());
        QCOMPARE(QProcess::execute(QStringLiteral("useradd"), {QStringLiteral("-M"), name}), 0);
        const QByteArray home = qgetenv("HOME");
        const auto restore = qScopeGuard([&] {
            cleanup();
            qputenv("HOME", home);
            QProcess::execute(QStringLiteral("userdel"), {name});
        });
        const passwd *account = ::getpwnam(qPrintable(name));
        QVERIFY(account);
        qputenv("HOME", account->pw_dir);
        Folder f;
        QTemporaryDir runtime;
        for (const QString &path : {f.dir.path(), f.exe, f.data, runtime.path()})
            QVERIFY(::chown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) == 0);

        QProcess *squatter = start(f);
        QVERIFY(squatter && waitUntilPrimary(f, squatter));
        const QStringList asAccount = {QStringLiteral("setpriv"),
                                       QStringLiteral("--reuid=%1").arg(account->pw_uid),
                                       QStringLiteral("--regid=%1").arg(account->pw_gid),
                                       QStringLiteral("--clear-groups"), QStringLiteral("--")};
        QProcess *own = start(f, asAccount, runtime.path());
        QVERIFY(own);
        QStringList sockets;
        QVERIFY(waitFor([&] {
            sockets = QDir(runtime.path()).entryList({QStringLiteral("pirune-*")}, QDir::System);
            return !sockets.isEmpty() || ended(own, 20);
        }));
        QVERIFY2(!ended(own, 0), "the account's Pirune was stopped");
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

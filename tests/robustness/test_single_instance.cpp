// Starts the real executable, copied into temporary folders, to check that one Data file has one
// running Pirune and that a crash does not leave the next start locked out.
#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include <csignal>
#include <sys/types.h>

namespace {

// A notice far in the future: nothing becomes due while the test runs, so nothing writes the file.
const QByteArray kData = "2099/12/31 23:59\tテスト\t0\r\n";

class Folder
{
public:
    Folder()
    {
        QVERIFY(m_dir.isValid());
        exe = m_dir.filePath(QStringLiteral("Pirune"));
        QVERIFY(QFile::copy(QStringLiteral(PIRUNE_EXE), exe));
        QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
        QFile f(dataFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kData);
    }
    ~Folder()
    {
        // Killed instances leave their lock and socket in the temporary folder.
        SingleInstance names(m_dir.path());
        QFile::remove(names.lockFilePath());
        QLocalServer::removeServer(names.serverName());
    }
    QString path() const { return m_dir.path(); }
    QString dataFile() const { return m_dir.filePath(QStringLiteral("Pirune.dat")); }
    QString exe;

private:
    QTemporaryDir m_dir;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<QProcess>> m_procs;

    QProcess *start(const Folder &f)
    {
        auto p = std::make_unique<QProcess>();
        p->setProgram(f.exe);
        p->setWorkingDirectory(QDir::tempPath());
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start();
        if (!p->waitForStarted(5000))
            return nullptr;
        m_procs.push_back(std::move(p));
        return m_procs.back().get();
    }

    // The primary has taken the lock and read the Data file once its lock file names it.
    static bool waitUntilPrimary(const Folder &f, QProcess *p)
    {
        const QString lock = SingleInstance(f.path()).lockFilePath();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            QFile lf(lock);
            if (lf.open(QIODevice::ReadOnly) && lf.readLine().trimmed().toLongLong() == p->processId()) {
                return !ended(p, 300);
            }
            if (ended(p, 20))
                return false;
        }
        return false;
    }

    // waitForFinished is false for a process that had already ended, so look at the state first.
    static bool ended(QProcess *p, int ms)
    {
        return p->state() == QProcess::NotRunning || p->waitForFinished(ms);
    }

    static bool stillRunningAfter(QProcess *p, int ms) { return !ended(p, ms); }

    static QByteArray data(const Folder &f)
    {
        QFile file(f.dataFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void cleanup()
    {
        for (auto &p : m_procs) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
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
        QVERIFY(stillRunningAfter(pa, 200));
    }

    void killedPrimaryDoesNotBlockTheNextStart()
    {
        Folder f;
        for (int round = 0; round < 3; ++round) {
            QProcess *primary = start(f);
            QVERIFY(primary);
            QVERIFY2(waitUntilPrimary(f, primary), qPrintable(QStringLiteral("round %1").arg(round)));
            ::kill(pid_t(primary->processId()), SIGKILL);
            QVERIFY(primary->waitForFinished(5000));
            // Lock file and socket of the dead process are still there.
            QVERIFY(QFileInfo::exists(SingleInstance(f.path()).lockFilePath()));
        }
        QProcess *next = start(f);
        QVERIFY(next && waitUntilPrimary(f, next));
        // ...and hands a further start over like any primary, leaving the file alone.
        QProcess *after = start(f);
        QVERIFY(after && after->waitForFinished(10000));
        QCOMPARE(after->exitCode(), 0);
        QVERIFY(stillRunningAfter(next, 200));
        QCOMPARE(data(f), kData);
    }

    void simultaneousStartsLeaveOneRunning()
    {
        Folder f;
        for (int round = 0; round < 4; ++round) {
            QProcess *a = start(f);
            QProcess *b = start(f);
            QVERIFY(a && b);
            QProcess *winner = nullptr;
            QElapsedTimer t;
            t.start();
            while (!winner && t.elapsed() < 10000) {
                if (ended(a, 50))
                    winner = b;
                else if (ended(b, 50))
                    winner = a;
            }
            QVERIFY2(winner, "neither start ended");
            QProcess *loser = winner == a ? b : a;
            QCOMPARE(loser->exitCode(), 0);
            QVERIFY(stillRunningAfter(winner, 300));
            winner->kill();
            winner->waitForFinished(5000);
        }
        QCOMPARE(data(f), kData);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"

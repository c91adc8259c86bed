// Starts the real executable, copied into temporary folders: one Data file has one running
// Pirune, a further start hands over to it, and a killed one does not lock the next start out.
#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>
#include <vector>

namespace {
// Nothing falls due while the test runs, so nothing but a fault writes the file.
const QByteArray kData = "2099/12/31 23:59\tテスト\t0\r\n";

struct Folder {
    QTemporaryDir dir;
    QString exe = dir.filePath("Pirune");
    Folder() {
        QFile::copy(PIRUNE_EXE, exe);
        QFile f(data());
        if (!f.open(QIODevice::WriteOnly) || f.write(kData) != kData.size())
            qFatal("cannot write the Data file");
    }
    ~Folder() { // killed instances leave their lock and socket behind
        SingleInstance names(dir.path());
        QFile::remove(names.lockFilePath());
        QLocalServer::removeServer(names.serverName());
    }
    QString data() const { return dir.filePath("Pirune.dat"); }
    QByteArray bytes() const {
        QFile f(data());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

// waitForFinished is false for a process that had already ended.
bool ended(QProcess *p, int ms) { return p->state() == QProcess::NotRunning || p->waitForFinished(ms); }
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
    std::vector<std::unique_ptr<QProcess>> m_procs;

    QProcess *start(const Folder &f) {
        m_procs.push_back(std::make_unique<QProcess>());
        m_procs.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_procs.back()->start(f.exe, {});
        return m_procs.back()->waitForStarted(5000) ? m_procs.back().get() : nullptr;
    }
    // The primary has taken the lock and read the Data file once its lock file names it.
    static bool becomesPrimary(const Folder &f, QProcess *p) {
        QFile lock(SingleInstance(f.dir.path()).lockFilePath());
        for (int k = 0; k < 500 && !ended(p, 20); ++k) {
            if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLongLong() == p->processId())
                return !ended(p, 300);
            lock.close();
        }
        return false;
    }

private slots:
    void cleanup() {
        for (auto &p : m_procs) {
            p->kill();
            p->waitForFinished(5000);
        }
        m_procs.clear();
    }

    void killedPrimaryDoesNotLockOut() {
        Folder f, other;
        for (int round = 0; round < 2; ++round) {
            QProcess *primary = start(f);
            QVERIFY(primary && becomesPrimary(f, primary));
            ::kill(pid_t(primary->processId()), SIGKILL);
            QVERIFY(primary->waitForFinished(5000));
            QVERIFY(QFileInfo::exists(SingleInstance(f.dir.path()).lockFilePath()));
        }
        QProcess *next = start(f);
        QVERIFY(next && becomesPrimary(f, next));
        QProcess *elsewhere = start(other);
        QVERIFY(elsewhere && becomesPrimary(other, elsewhere));
        QProcess *after = start(f);
        QVERIFY(after && after->waitForFinished(10000));
        QCOMPARE(after->exitCode(), 0);
        QVERIFY(!ended(next, 200));
        QCOMPARE(f.bytes(), kData);
    }

    void simultaneousStartsLeaveOneRunning() {
        Folder f;
        for (int round = 0; round < 3; ++round) {
            QProcess *a = start(f), *b = start(f);
            QVERIFY(a && b);
            for (int k = 0; k < 200 && !ended(a, 25) && !ended(b, 25); ++k) {
            }
            QProcess *loser = ended(a, 0) ? a : b, *winner = loser == a ? b : a;
            QVERIFY2(ended(loser, 0), "neither start ended");
            QCOMPARE(loser->exitCode(), 0);
            QVERIFY(!ended(winner, 300));
            winner->kill();
            winner->waitForFinished(5000);
        }
        QCOMPARE(f.bytes(), kData);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"

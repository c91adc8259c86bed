// Starts the real executable, copied into temporary folders: one Data file has one running
// Pirune, a further start hands over to it, and a killed one does not lock the next start out.
#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <list>

namespace {
const QByteArray kData = "2099/12/31 23:59\tテスト\t0\r\n"; // nothing falls due, so nothing writes it

struct Folder {
    QTemporaryDir dir;
    SingleInstance names{dir.path()};
    std::list<QProcess> procs;
    Folder() {
        QFile f(dir.filePath("Pirune.dat"));
        if (!QFile::copy(PIRUNE_EXE, dir.filePath("Pirune")) || !f.open(QIODevice::WriteOnly) || f.write(kData) < 0)
            qFatal("cannot make the folder");
    }
    ~Folder() { // killed instances leave their lock and socket behind
        for (QProcess &p : procs) {
            p.kill();
            p.waitForFinished(5000);
        }
        QFile::remove(names.lockFilePath());
        QLocalServer::removeServer(names.serverName());
    }
    QProcess *start() {
        procs.emplace_back().setProcessChannelMode(QProcess::ForwardedErrorChannel);
        procs.back().start(dir.filePath("Pirune"), {});
        return procs.back().waitForStarted(5000) ? &procs.back() : nullptr;
    }
    // The primary has taken the lock and read the Data file once its lock file names it.
    bool isPrimary(QProcess *p) {
        QFile lock(names.lockFilePath());
        for (int k = 0; k < 500 && !ended(p, 20); ++k, lock.close())
            if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLongLong() == p->processId())
                return !ended(p, 300);
        return false;
    }
    QByteArray data() const {
        QFile f(dir.filePath("Pirune.dat"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool ended(QProcess *p, int ms) { return p->state() == QProcess::NotRunning || p->waitForFinished(ms); }
};
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void killedPrimaryDoesNotLockOut() {
        Folder f, other;
        for (int round = 0; round < 2; ++round) {
            QProcess *primary = f.start();
            QVERIFY(primary && f.isPrimary(primary));
            ::kill(pid_t(primary->processId()), SIGKILL);
            QVERIFY(primary->waitForFinished(5000) && QFileInfo::exists(f.names.lockFilePath()));
        }
        QProcess *next = f.start(), *elsewhere = other.start();
        QVERIFY(next && f.isPrimary(next) && elsewhere && other.isPrimary(elsewhere));
        QProcess *after = f.start();
        QVERIFY(after && after->waitForFinished(10000));
        QCOMPARE(after->exitCode(), 0);
        QVERIFY(!Folder::ended(next, 200));
        QCOMPARE(f.data(), kData);
    }

    void simultaneousStartsLeaveOneRunning() {
        Folder f;
        for (int round = 0; round < 3; ++round) {
            QProcess *a = f.start(), *b = f.start();
            QVERIFY(a && b);
            for (int k = 0; k < 200 && !Folder::ended(a, 25) && !Folder::ended(b, 25); ++k) {
            }
            QProcess *loser = Folder::ended(a, 0) ? a : b, *winner = loser == a ? b : a;
            QVERIFY2(Folder::ended(loser, 0) && loser->exitCode() == 0, "no start handed over");
            QVERIFY(!Folder::ended(winner, 300));
            winner->kill();
            winner->waitForFinished(5000);
        }
        QCOMPARE(f.data(), kData);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"

// Kills a process that keeps saving the Data file at random moments: after every kill the file
// must be one of the two tables it alternates between, complete.
#include "store/DataFile.h"

#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
void save(bool atomic, const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (atomic)
        DataFile::writeAtomically(path, bytes);
    else if (f.open(QIODevice::WriteOnly)) // the control
        f.write(bytes);
}
} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT
private slots:
    void killDuringSaves() {
        // Some hundred kilobytes each, so that a kill often lands inside a write.
        const QByteArray tables[2] = {
            QByteArray("2030/01/01 09:00\t旧い予定\t0\r\n").repeated(10000),
            QByteArray("2031/02/02 10:00\t新しい予定です\t1\r\n").repeated(9000)};
        // A plain overwrite is the control: it must tear, or the kills never land inside a save.
        for (const bool atomic : {false, true}) {
            QTemporaryDir dir;
            const QString target = dir.filePath("Pirune.dat");
            DataFile::writeAtomically(target, tables[0]);
            int seen[3] = {}; // the old table, the new one, torn
            for (int k = 0; k < 60 && !(seen[2] && !atomic); ++k) {
                const pid_t saver = fork();
                // Or kill(-1) below would signal every process the test may signal.
                QVERIFY2(saver >= 0, "fork failed");
                if (saver == 0) // the saver, until it is killed
                    for (unsigned long n = 0;; ++n)
                        save(atomic, target, tables[n % 2]);
                QTest::qSleep(k * 7 % 40); // 0 to 39 ms, each once in 40 kills
                ::kill(saver, SIGKILL);
                ::waitpid(saver, nullptr, 0);
                const QByteArray now = DataFile::readAll(target);
                ++seen[now == tables[0] ? 0 : now == tables[1] ? 1 : 2];
            }
            qInfo("%s: old table %d, new table %d, torn %d", atomic ? "atomic" : "plain", seen[0],
                  seen[1], seen[2]);
            QCOMPARE(seen[2] > 0, !atomic);
        }
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crash_safety.moc"

// Kills a process that keeps saving the Data file at random moments: after every kill the file
// must be one of the two tables it alternates between, complete. The same loop with a plain
// overwrite must leave a torn file, or the kills never landed inside a save.
#include "store/DataFile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QByteArray tableBytes(int k) {
    NoticeTable t;
    t.resizeTo(t.lngLast = k ? 3499 : 3999);
    for (int i = 0; i <= t.lngLast; ++i) {
        t.arrJikoku[i] = QDateTime(QDate(2030, 1, 1), QTime()).addSecs(i * 3660).toString("yyyy/MM/dd HH:mm");
        t.arrMes[i] = QStringLiteral("%1 %2番目の予定です。会議室Ａで打ち合わせ").arg(k ? "新しい" : "旧").arg(i);
        t.arrTuuti[i] = QString::number(i % 2);
    }
    return DataFile::serialize(t, k ? FileEncoding::Utf8Bom : FileEncoding::Cp932);
}
const QByteArray kTables[2] = {tableBytes(0), tableBytes(1)};

// Kills a forked saver until `kills`, or with untilTorn at the first torn file; counts the old
// table, the new one and torn or missing files.
std::array<int, 3> killRepeatedly(bool atomic, int kills, bool untilTorn) {
    std::array<int, 3> seen{};
    QTemporaryDir dir;
    const QString target = dir.filePath("Pirune.dat");
    QRandomGenerator rng(7);
    DataFile::writeAtomically(target, kTables[0]);
    for (int k = 0; k < kills && !(untilTorn && seen[2]); ++k) {
        const pid_t saver = fork();
        for (unsigned long n = 0; saver == 0; ++n) {
            QFile f(target);
            if (atomic)
                DataFile::writeAtomically(target, kTables[n % 2]);
            else if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(kTables[n % 2]);
        }
        QTest::qSleep(int(rng.bounded(40)));
        ::kill(saver, SIGKILL);
        ::waitpid(saver, nullptr, 0);
        QFile f(target);
        const QByteArray now = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        ++seen[now == kTables[0] ? 0 : now == kTables[1] ? 1 : 2];
        if (now != kTables[0] && now != kTables[1])
            DataFile::writeAtomically(target, kTables[0]);
    }
    qInfo("%s: old table %d, new table %d, torn or missing %d", atomic ? "atomic" : "plain", seen[0], seen[1], seen[2]);
    return seen;
}
} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT
private slots:
    void plainOverwriteIsCaught() { QVERIFY(killRepeatedly(false, 150, true)[2] > 0); }
    void killDuringSaves() {
        const auto seen = killRepeatedly(true, 60, false);
        QCOMPARE(seen[2], 0);
        QVERIFY(seen[0] > 0 && seen[1] > 0); // or the kills never landed between two saves
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crash_safety.moc"

// Kills a process that keeps saving the Data file at random moments: after every kill the file
// must be one of the two tables it alternates between, complete. The same loop with a plain
// overwrite must leave a torn file, or the kills never landed inside a save.
#include "store/DataFile.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <csignal>

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

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

[[noreturn]] void saveForever(const QString &how, const QString &target) {
    const QByteArray bytes[2] = {tableBytes(0), tableBytes(1)};
    for (unsigned long n = 0;; ++n) {
        if (QFile f(target); how == "atomic")
            DataFile::writeAtomically(target, bytes[n % 2]);
        else if (f.open(QIODevice::WriteOnly))
            f.write(bytes[n % 2]);
        if (n == 0) {
            std::fputs("saving\n", stdout);
            std::fflush(stdout);
        }
    }
}
} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT
    const QByteArray m_old = tableBytes(0), m_new = tableBytes(1);

    // Kills until `kills` or, with untilTorn, until the first torn file; counts old, new and torn.
    std::array<int, 3> killRepeatedly(const QString &how, int kills, bool untilTorn) {
        std::array<int, 3> seen{};
        QTemporaryDir dir;
        const QString target = dir.filePath("Pirune.dat");
        QRandomGenerator rng(7);
        for (int k = 0; k < kills && !(untilTorn && seen[2]); ++k) {
            if (readFile(target) != m_old && readFile(target) != m_new)
                DataFile::writeAtomically(target, m_old);
            QProcess p;
            p.start(QCoreApplication::applicationFilePath(), {how, target});
            // Mostly kill while saves run; sometimes while the tables are still being made.
            if (rng.bounded(8) && p.waitForReadyRead(10000))
                QTest::qSleep(int(rng.bounded(30)));
            else
                QTest::qSleep(int(rng.bounded(15)));
            ::kill(pid_t(p.processId()), SIGKILL);
            p.waitForFinished(5000);
            const QByteArray now = readFile(target);
            ++seen[now == m_old ? 0 : now == m_new ? 1 : 2];
        }
        qInfo("%s: old table %d, new table %d, torn or missing %d", qPrintable(how), seen[0], seen[1], seen[2]);
        return seen;
    }

private slots:
    void plainOverwriteIsCaught() { QVERIFY(killRepeatedly("plain", 150, true)[2] > 0); }
    void killDuringSaves() {
        const auto seen = killRepeatedly("atomic", 60, false);
        QCOMPARE(seen[2], 0);
        QVERIFY(seen[0] > 0 && seen[1] > 0); // or the kills never landed between two saves
    }
};

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 3)
        saveForever(argv[1], argv[2]);
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_crash_safety.moc"

// The fuzz corpus, and inputs too big to keep in the repository, through the fuzzer's check.
#include "roundtrip_check.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtTest>

class TestCorpusReplay : public QObject {
    Q_OBJECT
private slots:
    void replay_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QDir dir(PIRUNE_CORPUS_DIR);
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QTest::newRow(qPrintable(name)) << f.readAll();
        }
        QByteArray line = "2025/01/02 03:04\t", lines;
        while (line.size() < 10 << 20)
            line += "\x92\xb7\x82\xa2\x8d\x73"; // 長い行 in CP932
        while (lines.size() < 10 << 20)
            lines += "2025/01/02 03:04\ta\t0\r\n";
        QTest::newRow("10 MB line, bad byte at its end") << line + "\xff";
        QTest::newRow("10 MB of UTF-8 after a BOM") << "\xef\xbb\xbf" + QByteArray(10 << 20, 'x').replace(5000000, 3, "\xe6\x97\xa5");
        QTest::newRow("10 MB of tabs") << QByteArray(10 << 20, '\t');
        QTest::newRow("half a million short lines") << lines;
        QTest::newRow("a million lone CRs") << QByteArray(1000000, '\r');
    }
    void replay() {
        QFETCH(QByteArray, bytes);
        QElapsedTimer t;
        t.start();
        const QString fault = roundTripFault(bytes);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY2(t.elapsed() < 60000, "a hang or a quadratic walk");
    }
};

QTEST_GUILESS_MAIN(TestCorpusReplay)
#include "test_corpus_replay.moc"

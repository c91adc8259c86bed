// The fuzz corpus, and inputs too big to keep in the repository, through the fuzzer's check. A hang
// or a quadratic walk over the big ones runs into the test's timeout.
#include "roundtrip_check.h"

#include <QtTest>

class TestCorpusReplay : public QObject {
    Q_OBJECT
private slots:
    void replay_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QDir dir(PIRUNE_CORPUS_DIR);
        for (const QString &name : dir.entryList(QDir::Files))
            QTest::newRow(qPrintable(name)) << DataFile::readAll(dir.filePath(name));
        const QByteArray line =
            QByteArray("\x92\xb7\x82\xa2\x8d\x73").repeated((10 << 20) / 6); // 長い行 in CP932
        QTest::newRow("10 MB line, bad byte at its end") << "2025/01/02 03:04\t" + line + "\xff";
        QTest::newRow("half a million short lines")
            << QByteArray("2025/01/02 03:04\ta\t0\r\n").repeated(500000);
    }
    void replay() {
        QFETCH(QByteArray, bytes);
        const QString fault = roundTripFault(bytes);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }
};

QTEST_GUILESS_MAIN(TestCorpusReplay)
#include "test_corpus_replay.moc"

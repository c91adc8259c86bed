// The broken Data files of the fuzz corpus, and a few too big to keep in the repository, through
// the same load -> save -> load check as the fuzzer.
#include "roundtrip_check.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

class TestCorpusReplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { silenceMessageBoxes(); }

    void corpusFile_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(PIRUNE_CORPUS_DIR));
        const QStringList names = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY(names.size() >= 20);
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << dir.filePath(name);
    }
    void corpusFile()
    {
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString fault = roundTripFault(f.readAll());
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    void bigInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray kanji = QByteArray("\x92\xb7\x82\xa2\x8d\x73"); // 長い行 in CP932
        QByteArray line = "2025/01/02 03:04\t";
        while (line.size() < 10 * 1024 * 1024)
            line += kanji;
        QTest::newRow("10 MB line, CP932") << line + "\t0\r\n";
        QTest::newRow("10 MB line, CP932 with a bad byte at the end") << line + "\xff";
        QTest::newRow("10 MB line, UTF-8 after BOM") << QByteArray("\xef\xbb\xbf") + QByteArray(10 * 1024 * 1024, 'x').replace(5000000, 3, "\xe6\x97\xa5");
        QTest::newRow("10 MB of NUL") << QByteArray(10 * 1024 * 1024, '\0');
        QTest::newRow("10 MB of tabs") << QByteArray(10 * 1024 * 1024, '\t');
        QByteArray lines;
        while (lines.size() < 10 * 1024 * 1024)
            lines += "2025/01/02 03:04\ta\t0\r\n";
        QTest::newRow("half a million short lines") << lines;
        QTest::newRow("a million lone CRs") << QByteArray(1000000, '\r');
    }
    void bigInput()
    {
        QFETCH(QByteArray, bytes);
        QElapsedTimer t;
        t.start();
        const QString fault = roundTripFault(bytes);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        // Far more than it takes; only a hang or a quadratic walk gets near it.
        QVERIFY2(t.elapsed() < 60000, qPrintable(QString::number(t.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestCorpusReplay)
#include "test_corpus_replay.moc"

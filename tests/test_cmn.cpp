#include "BoxRecorder.h"
#include "app/mdl_Cmn.h"

#include <QtTest>

class TestCmn : public QObject
{
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void splitFourthFieldReportsAndKeepsThree();
    void splitMultiCharDelimiterNeverMatches();
    void lineBreakMarks_data();
    void lineBreakMarks();
    void enteredMessageRoundTrip();
    void errorBoxOnlyWhenPending();
};

void TestCmn::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("three") << "a\tb\tc" << 3 << QStringList{"a", "b", "c"};
    QTest::newRow("empty middle") << "a\t\tc" << 3 << QStringList{"a", "", "c"};
    QTest::newRow("no tab") << "abc" << 1 << QStringList{"abc", "", ""};
    QTest::newRow("empty text") << "" << 1 << QStringList{"", "", ""};
    QTest::newRow("trailing tab counted") << "a\tb\tc\t" << 4 << QStringList{"a", "b", "c"};
    QTest::newRow("surplus empty fields") << "a\tb\tc\t\t\t" << 6 << QStringList{"a", "b", "c"};
}

void TestCmn::split()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QStringList, fields);
    BoxRecorder boxes;
    QStringList result{"stale", "stale", "stale"};
    QCOMPARE(Split(text, QStringLiteral("\t"), result), count);
    QCOMPARE(result, fields);
    QVERIFY(boxes.boxes.isEmpty());
}

void TestCmn::splitFourthFieldReportsAndKeepsThree()
{
    BoxRecorder boxes;
    QStringList result(3);
    QCOMPARE(Split(QStringLiteral("a\tb\tc\td"), QStringLiteral("\t"), result), 0);
    QCOMPARE(result, (QStringList{"a", "b", "c"}));
    QCOMPARE(boxes.boxes.size(), 1);
    const auto &box = boxes.boxes.first();
    QCOMPARE(box.title, QStringLiteral("ｴﾗｰ"));
    QCOMPARE(box.icon, MessageSeam::Icon::Critical);
    QCOMPARE(box.buttons, MessageSeam::Buttons::Ok);
    QVERIFY(box.foreground);
    QCOMPARE(box.text, QStringLiteral("ｴﾗｰ番号 9  Pirune ( Split ) でｴﾗｰが発生しました。\rインデックスが有効範囲にありません。"));
    QCOMPARE(Err().number, 0);
}

void TestCmn::splitMultiCharDelimiterNeverMatches()
{
    QStringList result(3);
    QCOMPARE(Split(QStringLiteral("a\tb"), QStringLiteral("\t\t"), result), 1);
    QCOMPARE(result.at(0), QStringLiteral("a\tb"));
    QCOMPARE(Split(QStringLiteral("a\tb"), QString(), result), 1);
    QCOMPARE(result.at(0), QStringLiteral("a\tb"));
}

void TestCmn::lineBreakMarks_data()
{
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<QString>("shownAgain");
    QTest::newRow("CR LF") << "x\r\ny" << "x\\ny" << "x\r\ny";
    QTest::newRow("lone CR") << "x\ry" << "x\\ny" << "x\r\ny";
    QTest::newRow("lone LF stays") << "x\ny" << "x\ny" << "x\ny";
    QTest::newRow("CR CR LF") << "x\r\r\ny" << "x\\n\\ny" << "x\r\n\r\ny";
    QTest::newRow("trailing backslash") << "x\\" << "x\\" << "x\\";
    QTest::newRow("typed backslash n becomes a break") << "a\\nb" << "a\\nb" << "a\r\nb";
    QTest::newRow("backslash backslash n") << "a\\\\nb" << "a\\\\nb" << "a\\\r\nb";
}

void TestCmn::lineBreakMarks()
{
    QFETCH(QString, entered);
    QFETCH(QString, marked);
    QFETCH(QString, shownAgain);
    QCOMPARE(Cmn_ConvCRLFtoMark(entered), marked);
    QCOMPARE(Cmn_ConvMarktoCRLF(marked), shownAgain);
}

void TestCmn::enteredMessageRoundTrip()
{
    const QString stored = Cmn_CutTab(Cmn_ConvCRLFtoMark(QStringLiteral("a\tb\r\nc\t")));
    QCOMPARE(stored, QStringLiteral("ab\\nc"));
    QCOMPARE(Cmn_ConvMarktoCRLF(stored), QStringLiteral("ab\r\nc"));
}

void TestCmn::errorBoxOnlyWhenPending()
{
    BoxRecorder boxes;
    Err().clear();
    Cmn_ErrorBox(QStringLiteral("Split"));
    QVERIFY(boxes.boxes.isEmpty());
    Err().set(53, QStringLiteral("desc"));
    Cmn_ErrorBox(QStringLiteral("Cmn_CutTab"));
    QCOMPARE(boxes.boxes.size(), 1);
    QVERIFY(boxes.boxes.first().text.startsWith(QStringLiteral("ｴﾗｰ番号 53  Pirune ( Cmn_CutTab ) ")));
    QCOMPARE(Err().number, 0);
}

QTEST_GUILESS_MAIN(TestCmn)
#include "test_cmn.moc"

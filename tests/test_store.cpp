#include "BoxRecorder.h"
#include "app/RunError.h"
#include "store/DataFile.h"
#include "store/DateText.h"
#include "store/NoticeTable.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {
QByteArray cp932(const char *utf8)
{
    QStringEncoder e("Shift_JIS");
    return e.encode(QString::fromUtf8(utf8));
}

NoticeTable tableOf(const QList<QStringList> &rows)
{
    NoticeTable t;
    for (const auto &r : rows) {
        t.arrJikoku << r.value(0);
        t.arrMes << r.value(1);
        t.arrTuuti << r.value(2);
    }
    t.lngLast = qint32(rows.size()) - 1;
    return t;
}

NoticeTable loaded(const QByteArray &bytes, FileEncoding *enc = nullptr)
{
    NoticeTable t;
    FileEncoding e;
    DataFile::load(bytes, t, e);
    if (enc)
        *enc = e;
    return t;
}

QByteArray writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
} // namespace

class TestStore : public QObject
{
    Q_OBJECT
private slots:
    void sortEdgeCases();
    void sortFollowsNoticeAndMovesFieldsTogether();
    void sortEqualDateTimesEndAsTheExchangeSortLeavesThem();
    void dateText_data();
    void dateText();
    void loadOddLines();
    void loadFourthFieldReportedAndLoadingGoesOn();
    void saveWritesCanonicalLines();
    void saveEmptyTableWritesNothing();
    void roundTripIsByteExact_data();
    void roundTripIsByteExact();
    void cp932WritesVariantTwinsAndRefusesTheRest();
    void ensureExistsCreatesEmptyAndKeepsExisting();
    void failedSaveLeavesOldFileIntact_data();
    void failedSaveLeavesOldFileIntact();
    void writeFailingHalfWayLeavesOldFileIntact();
};

void TestStore::sortEdgeCases()
{
    NoticeTable empty;
    QCOMPARE(SortItiranFast(empty, -1), -1);
    QCOMPARE(SortItiranFast(empty, 7), 7);

    NoticeTable one = tableOf({{"2026/06/01 09:00", "a", "0"}});
    QCOMPARE(SortItiranFast(one, 0), 0);
    QCOMPARE(one.arrJikoku, QStringList{"2026/06/01 09:00"});

    NoticeTable added = tableOf({{"2026/06/01 09:00", "a", "0"},
                                 {"2026/06/02 09:00", "b", "1"},
                                 {"2026/05/01 00:00", "new", "0"}});
    QCOMPARE(SortItiranFast(added, 2), 0);
    QCOMPARE(added.arrMes, (QStringList{"new", "a", "b"}));
    QCOMPARE(SortItiranFast(added, -1), -1);
}

void TestStore::sortFollowsNoticeAndMovesFieldsTogether()
{
    NoticeTable t = tableOf({{"2026/06/02 09:00", "second day", "1"},
                             {"2026/06/01 18:30", "evening", "0"},
                             {"2026/06/01 09:15", "morning", "1"}});
    QCOMPARE(SortItiranFast(t, 0), 2);
    QCOMPARE(t.arrJikoku, (QStringList{"2026/06/01 09:15", "2026/06/01 18:30", "2026/06/02 09:00"}));
    QCOMPARE(t.arrMes, (QStringList{"morning", "evening", "second day"}));
    QCOMPARE(t.arrTuuti, (QStringList{"1", "0", "1"}));
}

void TestStore::sortEqualDateTimesEndAsTheExchangeSortLeavesThem()
{
    NoticeTable t = tableOf({{"B", "first", "0"}, {"B", "second", "0"}, {"A", "a", "0"}});
    QCOMPARE(SortItiranFast(t, 0), 2);
    QCOMPARE(t.arrMes, (QStringList{"a", "second", "first"}));
}

void TestStore::dateText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("minute"); // rendered minute, empty when not a date-time
    QTest::newRow("canonical") << "2026/12/07 09:05" << "2026/12/07 09:05";
    QTest::newRow("one digit fields") << "2026/1/5 9:5" << "2026/01/05 09:05";
    QTest::newRow("dashes") << "2026-01-05 09:05" << "2026/01/05 09:05";
    QTest::newRow("midnight") << "2026/12/31 00:00" << "2026/12/31 00:00";
    QTest::newRow("hour 24") << "2026/12/07 24:00" << "";
    QTest::newRow("minute 60") << "2026/12/07 12:60" << "";
    QTest::newRow("30 February") << "2026/02/30 09:00" << "";
    QTest::newRow("date only") << "2026/12/07" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("words") << "tomorrow 9:00" << "";
    QTest::newRow("seconds already") << "2026/12/07 09:05:30" << "";
}

void TestStore::dateText()
{
    QFETCH(QString, text);
    QFETCH(QString, minute);
    const auto m = DateText::parseMinute(text);
    QCOMPARE(m ? DateText::renderMinute(*m) : QString(), minute);
    if (m)
        QCOMPARE(DateText::render(*m), minute + QStringLiteral(":00"));
}

void TestStore::loadOddLines()
{
    BoxRecorder boxes;
    NoticeTable t;
    FileEncoding enc;
    const QByteArray bytes("2026/12/07 09:00\ta\\nb\t0\r\n"
                           "\r\n"
                           "2026/12/08 10:00\r\n"
                           "2026/12/09 11:00\tlf\ninside\t1\r"
                           "2026/12/10 12:00\tlast\t0");
    DataFile::load(bytes, t, enc);
    QCOMPARE(t.lngLast, 4);
    QCOMPARE(t.lngCount, 5);
    QCOMPARE(t.arrJikoku, (QStringList{"2026/12/07 09:00", "", "2026/12/08 10:00", "2026/12/09 11:00", "2026/12/10 12:00"}));
    QCOMPARE(t.arrMes, (QStringList{"a\\nb", "", "", "lf\ninside", "last"}));
    QCOMPARE(t.arrTuuti, (QStringList{"0", "", "", "1", "0"}));
    QCOMPARE(t.displayText(1), QStringLiteral("|"));
    QVERIFY(boxes.boxes.isEmpty());

    // Without any CR in the file, LF ends the line; saving writes CR LF.
    NoticeTable lf = loaded("2026/12/07 09:00\ta\t0\n2026/12/08 10:00\tb\t1\n");
    QCOMPARE(lf.arrMes, (QStringList{"a", "b"}));
    QCOMPARE(DataFile::serialize(lf, FileEncoding::Cp932), QByteArray("2026/12/07 09:00\ta\t0\r\n2026/12/08 10:00\tb\t1\r\n"));

    NoticeTable empty = loaded(QByteArray());
    QCOMPARE(empty.lngLast, -1);
    QCOMPARE(empty.lngCount, 0);
}

void TestStore::loadFourthFieldReportedAndLoadingGoesOn()
{
    BoxRecorder boxes;
    const NoticeTable t = loaded("2026/12/07 09:00\tm\t0\textra\tmore\r\n2026/12/08 09:00\tnext\t1\r\n"
                                 "2026/12/09 09:00\tends\t0\t\r\n");
    QCOMPARE(boxes.boxes.size(), 1);
    QVERIFY(boxes.boxes.first().text.contains(QStringLiteral("( Split )")));
    QCOMPARE(t.lngLast, 2);
    QCOMPARE(t.arrMes, (QStringList{"m", "next", "ends"}));
    QCOMPARE(t.arrTuuti, (QStringList{"0", "1", "0"}));
}

void TestStore::saveWritesCanonicalLines()
{
    NoticeTable t = tableOf({{"2026/12/07 09:00", "a\\nb", "0"},
                             {"2026/1/5 9:05", "", "1"},
                             {"not a date", "kept", "x"}});
    const QByteArray bytes = DataFile::serialize(t, FileEncoding::Cp932);
    QCOMPARE(bytes, QByteArray("2026/12/07 09:00\ta\\nb\t0\r\n2026/01/05 09:05\t\t1\r\nnot a date\tkept\tx\r\n"));
    QCOMPARE(t.lngCount, 3);
    QCOMPARE(t.arrJikoku.at(1), QStringLiteral("2026/1/5 9:05")); // the table keeps its form
}

void TestStore::saveEmptyTableWritesNothing()
{
    NoticeTable t;
    QCOMPARE(DataFile::serialize(t, FileEncoding::Cp932), QByteArray());
    QCOMPARE(t.lngCount, 0);
}

void TestStore::roundTripIsByteExact_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("mes"); // of the first notice
    QTest::newRow("cp932 ～ ① 髙 and a mark")
        << cp932("2026/12/07 09:00\t～①髙\\n二行目\t0\r\n2026/12/08 10:00\tｶﾀｶﾅ\t1\r\n") << int(FileEncoding::Cp932) << "～①髙\\n二行目";
    QTest::newRow("utf-8 with BOM") << QByteArray("\xEF\xBB\xBF" "2026/12/07 09:00\t\xE2\x91\xA0\xF0\x9F\x98\x80\t0\r\n")
                                    << int(FileEncoding::Utf8Bom) << "①😀";
    QTest::newRow("utf-8 without BOM") << QByteArray("2026/12/07 09:00\t\xE9\xAB\x99\t0\r\n") << int(FileEncoding::Utf8) << "髙";
    QTest::newRow("cp932 kana that is valid utf-8") << QByteArray("2026/12/07 09:00\t\xD0\xBD\x20\xD2\xB0\t0\r\n")
                                                    << int(FileEncoding::Cp932) << "ﾐｽ ﾒｰ";
    QTest::newRow("bytes no code page knows")
        << QByteArray("2026/12/07 09:00\t\x80\xA0\xFD\xFE\xFF\x81\x20\t0\r\n2026/12/08 09:00\tlead at end \x82\t1\r\n")
        << int(FileEncoding::Cp932) << QString::fromUtf16(u"\xDC80\xDCA0\xDCFD\xDCFE\xDCFF\xDC81 ");
    QTest::newRow("broken utf-8 after BOM") << QByteArray("\xEF\xBB\xBF" "2026/12/07 09:00\t\xE9\xAB\t0\r\n")
                                            << int(FileEncoding::Utf8Bom) << QString::fromUtf16(u"\xDCE9\xDCAB");
    QTest::newRow("NUL bytes") << QByteArray("2026/12/07 09:00\ta\0b\t0\r\n", 24) << int(FileEncoding::Cp932) << QString::fromLatin1("a\0b", 3);
}

void TestStore::roundTripIsByteExact()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(QString, mes);
    FileEncoding enc;
    NoticeTable t = loaded(bytes, &enc);
    QCOMPARE(int(enc), encoding);
    QCOMPARE(t.arrMes.at(0), mes);
    QCOMPARE(DataFile::serialize(t, enc), bytes);
}

void TestStore::cp932WritesVariantTwinsAndRefusesTheRest()
{
    NoticeTable twins = tableOf({{"2026/12/07 09:00", "14時〜会議‖−—¢£¬¥‾", "0"}});
    QVERIFY(!TextCodec::firstUnencodable(twins.arrMes.at(0), FileEncoding::Cp932));
    const QByteArray bytes = DataFile::serialize(twins, FileEncoding::Cp932); // as iconv -t CP932 writes it
    QCOMPARE(bytes, QByteArray("2026/12/07 09:00\t14\x8e\x9e\x81\x60\x89\xef\x8b\x63\x81\x61\x81\x7c\x81\x5c"
                               "\x81\x91\x81\x92\x81\xca\x5c\x7e\t0\r\n"));
    QCOMPARE(loaded(bytes).arrMes.at(0), QStringLiteral("14時～会議∥－―￠￡￢\\~"));

    NoticeTable t = tableOf({{"2026/12/07 09:00", QString::fromUtf8("ok \xF0\x9F\x98\x80"), "0"}});
    try {
        DataFile::serialize(t, FileEncoding::Cp932);
        QFAIL("an emoji was written into a CP932 file");
    } catch (const RunError &e) {
        QCOMPARE(e.number(), int(RunError::UnencodableCharacter));
        QVERIFY2(e.description().contains(QStringLiteral("U+1F600")), qPrintable(e.description()));
    }
    QVERIFY(DataFile::serialize(t, FileEncoding::Utf8).contains("\xF0\x9F\x98\x80"));
}

void TestStore::ensureExistsCreatesEmptyAndKeepsExisting()
{
    QTemporaryDir dir;
    const QString path = DataFile::pathIn(dir.path());
    QVERIFY(path.endsWith(QStringLiteral("/Pirune.dat")));
    DataFile::ensureExists(path);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).size(), 0);
    writeFile(path, "x");
    DataFile::ensureExists(path);
    QCOMPARE(readFile(path), QByteArray("x"));
}

void TestStore::failedSaveLeavesOldFileIntact_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("data file is a folder") << "folder";
    QTest::newRow("folder does not exist") << "missing";
    QTest::newRow("folder not writable") << "proc";
}

void TestStore::failedSaveLeavesOldFileIntact()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString path = DataFile::pathIn(dir.path());
    if (how == QLatin1String("folder"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Pirune.dat")));
    else if (how == QLatin1String("missing"))
        path = dir.filePath(QStringLiteral("no/such/Pirune.dat"));
    else
        path = QStringLiteral("/proc/self/Pirune.dat"); // refused even to root
    QVERIFY_THROWS_EXCEPTION(RunError, DataFile::writeAtomically(path, "new"));
    if (how == QLatin1String("folder"))
        QVERIFY(QFileInfo(path).isDir());
}

void TestStore::writeFailingHalfWayLeavesOldFileIntact()
{
    QTemporaryDir dir;
    const QString path = DataFile::pathIn(dir.path());
    const QByteArray old = writeFile(path, "2026/12/07 09:00\told\t0\r\n");
    const QByteArray big(64 * 1024, 'x');

    // A file-size limit makes the write fail part of the way through, as a full disk does.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool threw = false;
    try {
        DataFile::writeAtomically(path, big);
    } catch (const RunError &) {
        threw = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QVERIFY(threw);
    QCOMPARE(readFile(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Pirune.dat"});
}

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"

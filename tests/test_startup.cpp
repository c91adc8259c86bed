#include "PiruneFixture.h"
#include "tray/TrayControl.h"

#include <QPushButton>
#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void firstStartCreatesEmptyFile();
    void loadsNoticesInFileOrderHidden();
    void windowBuiltOnFirstShowWithStartupState();
    void fourthFieldIsReportedAndStartupGoesOn();
    void unreadableDataFileStopsStartupAndIsNeverOverwritten();
    void closeHidesAndKeepsRunning();
    void closingThroughFrameRemovesIcon();
};

void TestStartup::firstStartCreatesEmptyFile()
{
    PiruneFixture f;
    QVERIFY(!QFile::exists(f.path()));
    F_Pirune &w = f.start();
    QVERIFY(QFile::exists(f.path()));
    QCOMPARE(QFileInfo(f.path()).size(), 0);
    QCOMPARE(w.lstItiran->count(), 0);
    QVERIFY(!w.cmd_Settei->isEnabled());
    QVERIFY(!w.cmd_Del->isEnabled());
    QVERIFY(f.boxes.boxes.isEmpty());
    QCOMPARE(w.txt_SetteiJikoku->Text(), QStringLiteral("09:04"));
    QVERIFY(!w.isVisible());
    QCOMPARE(w.TrayControl1->tip(), QStringLiteral("Pirune"));
    QVERIFY(!w.TrayControl1->icon().isNull());
    QVERIFY(w.TrayControl1->isShown());
}

void TestStartup::loadsNoticesInFileOrderHidden()
{
    PiruneFixture f;
    f.writeText(QStringLiteral("2026/12/09 10:00\t三番目\t0\r\n2026/12/08 10:00\t二行\\n目\t1\r\n2026/12/10 10:00\t\t0\r\n"));
    F_Pirune &w = f.start();
    QCOMPARE(f.listLines(), (QStringList{QStringLiteral("2026/12/09 10:00|三番目"), QStringLiteral("2026/12/08 10:00|二行\\n目"),
                                         QStringLiteral("2026/12/10 10:00|")}));
    QVERIFY(w.cmd_Settei->isEnabled());
    QVERIFY(w.cmd_Del->isEnabled());
    QCOMPARE(w.table().lngCount, 3);
    QCOMPARE(w.listIndex(), -1);
    QVERIFY(!w.isVisible());
    QVERIFY(f.boxes.boxes.isEmpty());
}

void TestStartup::windowBuiltOnFirstShowWithStartupState()
{
    PiruneFixture f;
    f.writeText(QStringLiteral("2026/12/09 10:00\tb\t0\r\n2026/12/08 10:00\ta\t1\r\n"));
    F_Pirune &w = f.start(false);
    QVERIFY(!w.controlsBuilt());
    Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(11, 30)));
    w.TrayControl1_DblClick(0);
    QVERIFY(w.controlsBuilt());
    QVERIFY(w.isVisible());
    QCOMPARE(f.listLines(), (QStringList{"2026/12/09 10:00|b", "2026/12/08 10:00|a"}));
    QCOMPARE(w.txt_SetteiJikoku->Text(), QStringLiteral("09:04")); // written at start-up
    QVERIFY(w.cmd_Settei->isEnabled() && w.cmd_Del->isEnabled());
    QCOMPARE(w.DTP_YMD->Value(), QStringLiteral("2004/12/02"));

    PiruneFixture empty;
    F_Pirune &e = empty.start(false);
    e.mnu_Popup_Click(1);
    QVERIFY(!e.cmd_Settei->isEnabled() && !e.cmd_Del->isEnabled());
    QCOMPARE(e.lstItiran->count(), 0);
}

void TestStartup::fourthFieldIsReportedAndStartupGoesOn()
{
    PiruneFixture f;
    f.writeData("2026/12/09 10:00\ta\t0\tsurplus\r\n2026/12/10 10:00\tb\t0\r\n");
    F_Pirune &w = f.start();
    QCOMPARE(f.boxes.boxes.size(), 1);
    QVERIFY(f.boxes.texts().first().contains(QStringLiteral("( Split )")));
    QCOMPARE(f.listLines(), (QStringList{"2026/12/09 10:00|a", "2026/12/10 10:00|b"}));
    QVERIFY(w.cmd_Del->isEnabled());
}

void TestStartup::unreadableDataFileStopsStartupAndIsNeverOverwritten()
{
    PiruneFixture f;
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("Pirune.dat")));
    F_Pirune &w = f.start();
    QCOMPARE(f.boxes.boxes.size(), 1);
    QVERIFY2(f.boxes.texts().first().startsWith(QStringLiteral("Form_Load Code:75 / Msg:")), qPrintable(f.boxes.texts().first()));
    QCOMPARE(f.boxes.boxes.first().title, QStringLiteral("Pirune"));
    QVERIFY(!w.isVisible());
    QVERIFY(w.Timer1->isActive());

    // Replace the folder by a file that start-up could not read: no save may overwrite it.
    QVERIFY(QDir(f.dir.path()).rmdir(QStringLiteral("Pirune.dat")));
    f.writeData("2026/12/09 10:00\tkeep me\t0\r\n");
    f.boxes.clear();
    QVERIFY(!w.SaveDataToFile());
    QCOMPARE(f.boxes.boxes.size(), 1);
    QVERIFY(f.boxes.texts().first().startsWith(QStringLiteral("SaveDataToFile Code:1002 / Msg:")));
    QCOMPARE(f.data(), QByteArray("2026/12/09 10:00\tkeep me\t0\r\n"));
}

void TestStartup::closeHidesAndKeepsRunning()
{
    PiruneFixture f;
    F_Pirune &w = f.start();
    w.TrayControl1_DblClick(0);
    QVERIFY(w.isVisible());
    QTest::mouseClick(w.cmdEnd, Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QVERIFY(w.Timer1->isActive());
    QVERIFY(w.TrayControl1->isShown());
}

void TestStartup::closingThroughFrameRemovesIcon()
{
    PiruneFixture f;
    F_Pirune &w = f.start();
    w.TrayControl1_DblClick(0);
    QVERIFY(w.close());
    QVERIFY(!w.TrayControl1->isShown());
    QVERIFY(!w.Timer1->isActive());
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"

#include "PiruneFixture.h"
#include "tray/TrayControl.h"
#include "app/Twips.h"
#include "tray/frmVersion.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStyleHints>
#include <QTimer>
#include <QtTest>

namespace {
template <class T> int topLevels() {
    int n = 0;
    for (QWidget *t : QApplication::topLevelWidgets())
        n += qobject_cast<T *>(t) != nullptr;
    return n;
}
} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    // Start-up shows only the icon; the window, opened from the tray (also while the Split report of
    // the fourth field is open), shows the file's notices in file order with the state start-up gave.
    void startUp_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("seen");
        QTest::newRow("first start") << QByteArray() << QStringList() << "-1 2004/12/02 09:04 ";
        QTest::newRow("three notices") << QByteArray("2026/12/09 10:00\t三番目\t0\r\n2026/12/08 10:00\t二行\\n目\t1\textra\r\n"
                                                     "2026/12/10 10:00\t\t0\r\n")
                                       << QStringList{"2026/12/09 10:00|三番目", "2026/12/08 10:00|二行\\n目", "2026/12/10 10:00|"}
                                       << "-1 2004/12/02 09:04  変更 削除 [ｴﾗｰ: ｴﾗｰ番号 9  Pirune ( Split ) "
                                          "でｴﾗｰが発生しました。\rインデックスが有効範囲にありません。]";
    }
    void startUp() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        QFETCH(QString, seen);
        PiruneFixture f;
        f.boxes.during = [&](const auto &) { emit f.w->TrayControl1->DblClick(0); }; // built half loaded
        F_Pirune &w = f.start(file.isEmpty() ? QByteArray() : file, false);
        QCOMPARE(f.data(), file);
        QCOMPARE(w.isVisible(), !f.boxes.boxes.isEmpty()); // hidden unless opened during the Split report
        QVERIFY(w.TrayControl1->isShown() && !w.TrayControl1->icon().isNull());
        QCOMPARE(w.TrayControl1->tip(), "Pirune");
        Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(11, 30)));
        if (lines.isEmpty())
            w.mnu_Popup[1]->trigger(); // "設定(&S)..."
        else
            emit w.TrayControl1->DblClick(0);
        QVERIFY(w.isVisible());
        QCOMPARE(w.focusWidget(), w.cmdEnd);
        QCOMPARE(f.listLines(), lines);
        QCOMPARE(f.seen(), seen);
        QCOMPARE(w.table().lngCount, lines.size());
    }

    void unreadableDataFileIsNeverOverwritten() {
        PiruneFixture f;
        QDir(f.dir.path()).mkdir("Pirune.dat");
        F_Pirune &w = f.start(QByteArray(), false);
        QCOMPARE(f.boxes.texts().size(), 1);
        QVERIFY(f.boxes.texts().first().startsWith("Pirune: Form_Load Code:75 / Msg:"));
        QVERIFY(!w.isVisible() && w.Timer1->isActive());
        QDir(f.dir.path()).rmdir("Pirune.dat");
        QFile file(f.path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("2026/12/09 10:00\tkeep me\t0\r\n") > 0);
        file.close();
        QVERIFY(!w.SaveDataToFile());
        QVERIFY(f.boxes.texts().last().startsWith("Pirune: SaveDataToFile Code:1002 / Msg:"));
        QCOMPARE(f.data(), "2026/12/09 10:00\tkeep me\t0\r\n");
    }

    void closeHidesAndFrameCloseUnloads() {
        PiruneFixture f;
        F_Pirune &w = f.start("");
        w.mnu_Popup[1]->trigger();
        QTest::mouseClick(w.cmdEnd, Qt::LeftButton);
        QVERIFY(!w.isVisible() && w.Timer1->isActive() && w.TrayControl1->isShown());
        emit w.TrayControl1->DblClick(0);
        QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
        QVERIFY(w.close());
        QVERIFY(!w.TrayControl1->isShown() && !w.Timer1->isActive());
        QCOMPARE(QCoreApplication::exec(), 0); // no window is left: the process ends
    }

    void layout_data() {
        QTest::addColumn<QSize>("asked"); // client size in pixels
        QTest::addColumn<QSize>("grown"); // expected growth over the minimum, in twips
        QTest::newRow("minimum") << QSize(609, 327) << QSize(0, 0);
        QTest::newRow("below minimum both ways") << QSize(300, 100) << QSize(0, 0);
        QTest::newRow("+600 / +300 twips") << QSize(649, 347) << QSize(600, 300);
        QTest::newRow("only width too small") << QSize(100, 347) << QSize(0, 300);
        QTest::newRow("only height too small") << QSize(649, 10) << QSize(600, 0);
    }
    void layout() {
        QFETCH(QSize, asked);
        QFETCH(QSize, grown);
        PiruneFixture f;
        F_Pirune &w = f.start("");
        w.show();
        w.setMinimumSize(0, 0); // let the window system give a size the rule must correct
        w.resize(asked);
        w.Form_Resize();
        QCOMPARE(w.size() * Twips::perPixel + QSize(90, 405), QSize(9225, 5310) + grown);
        const int dW = grown.width(), dH = grown.height();
        // Each control's place in the table, and by how much dW and dH move and grow it.
        const struct { QWidget *c; QRect r; int x, y, w, h; } controls[] = {
            {w.Label1, {120, 120, 8775, 375}, 0, 0, 1, 0},      {w.lstItiran, {120, 360, 8775, 2010}, 0, 0, 1, 0},
            {w.fra1, {120, 2520, 8775, 1815}, 0, 0, 1, 1},      {w.Label2_0, {240, 240, 855, 255}, 0, 0, 0, 0},
            {w.DTP_YMD, {1560, 240, 1335, 375}, 0, 0, 0, 0},    {w.txt_SetteiJikoku, {2880, 240, 615, 375}, 0, 0, 0, 0},
            {w.Label2_3, {240, 600, 1335, 255}, 0, 0, 0, 0},    {w.txtSetteiMes, {1560, 600, 6015, 615}, 0, 0, 1, 1},
            {w.cmd_Add, {120, 1320, 975, 375}, 0, 1, 0, 0},     {w.cmd_Settei, {1200, 1320, 975, 375}, 0, 1, 0, 0},
            {w.cmd_Del, {2280, 1320, 975, 375}, 0, 1, 0, 0},    {w.cmd_Clear, {3360, 1320, 975, 375}, 0, 1, 0, 0},
            {w.cmdEnd, {8040, 4440, 975, 375}, 1, 1, 0, 0}};
        for (const auto &c : controls) {
            const QRect px = c.c->geometry();
            QCOMPARE(QRect(px.topLeft() * Twips::perPixel, px.size() * Twips::perPixel),
                     QRect(c.r.x() + c.x * dW, c.r.y() + c.y * dH, c.r.width() + c.w * dW, c.r.height() + c.h * dH));
        }
        const QList<QWidget *> tabOrder{w.cmdEnd,  w.txt_SetteiJikoku, w.txtSetteiMes, w.cmd_Add, w.cmd_Settei,
                                        w.cmd_Del, w.cmd_Clear,        w.lstItiran,    w.DTP_YMD};
        QList<QWidget *> order;
        for (QWidget *x = w.cmdEnd; order.size() < tabOrder.size(); x = x->nextInFocusChain())
            if (tabOrder.contains(x))
                order << x;
        QCOMPARE(order, tabOrder);
    }

    void trayAndMenu() {
        int exits = 0;
        PiruneFixture f;
        F_Pirune::exitProcess() = [&] { ++exits; };
        F_Pirune &w = f.start("2026/12/09 10:00\ta\t0\r\n", false);
        emit w.TrayControl1->DblClick(1);
        emit w.TrayControl1->Click(0);
        QVERIFY(!w.isVisible() && !w.mnuPopup->isVisible());
        emit w.TrayControl1->Click(1);
        QVERIFY(w.mnuPopup->isVisible());
        w.mnuPopup->hide();
        for (QAction *a : {w.mnu_Popup[1], w.mnu_Popup[1], w.mnu_Popup[0], w.mnu_Popup[0]})
            a->trigger();
        QVERIFY(w.isVisible() && w.versionWindow()->isVisible());
        QCOMPARE(topLevels<F_Pirune>() + topLevels<frmVersion>(), 2);
        QCOMPARE(w.versionWindow()->txtVer->toPlainText(), "test_window(簡易スケジューラー)\nVersion 2.5.25");
        QCOMPARE(frmVersion::versionText("P", "d", 10, 0, 5), "P(d)\r\nVersion 10.0.5");
        w.multiMessageBox("open", QString());
        w.mnu_Popup[3]->trigger();
        QCOMPARE(exits, 1);
        QVERIFY(f.boxes.boxes.isEmpty());
        QCOMPARE(f.data(), "2026/12/09 10:00\ta\t0\r\n");
    }

    // T an activation (a click), D a double-click, _ a pause beyond the double-click interval
    void trayActivations_data() {
        QTest::addColumn<QString>("activations");
        QTest::addColumn<QString>("codes");
        QTest::newRow("lone activation") << "T" << "C0";
        QTest::newRow("two activations") << "TT" << "C0 D0";
        QTest::newRow("two far apart") << "T_T" << "C0 C0";
        QTest::newRow("XEmbed double-click, then a click") << "TDT" << "C0 D0 C0";
        QTest::newRow("three activations") << "TTT" << "C0 D0 C0";
    }
    void trayActivations() {
        QFETCH(QString, activations);
        QFETCH(QString, codes);
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(100);
        TrayControl tray;
        QStringList got;
        connect(&tray, &TrayControl::Click, this, [&](short b) { got << QString("C%1").arg(b); });
        connect(&tray, &TrayControl::DblClick, this, [&](short b) { got << QString("D%1").arg(b); });
        for (QChar c : activations)
            c == '_' ? QTest::qWait(150) : tray.activated(c == 'T' ? QSystemTrayIcon::Trigger : QSystemTrayIcon::DoubleClick);
        QCOMPARE(got.join(' '), codes);
    }

    // Hidden behind its icon, Pirune outlives a closed message window; with no notification area
    // it shows its window after a while, and "閉じる" then minimises it.
    void withoutWindowsAndWithoutTray() {
        PiruneFixture f;
        F_Pirune::trayWaitSeconds() = 1;
        const auto restore = qScopeGuard([] { F_Pirune::trayWaitSeconds() = 30; });
        F_Pirune &w = f.start("", false);
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        w.multiMessageBox("hello", QString());
        QTest::mouseClick(PiruneFixture::messageWindows().first()->cmdOk, Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(PiruneFixture::messageWindows().isEmpty() && quitting.isEmpty() && w.Timer1->isActive());
        if (TrayControl::hostAvailable())
            QSKIP("a notification area is present");
        QVERIFY(!w.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 5000);
        w.cmdEnd->click();
        QVERIFY(w.isMinimized());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"

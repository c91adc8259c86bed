#include "PiruneFixture.h"
#include "tray/TrayControl.h"
#include "app/Twips.h"
#include "tray/frmVersion.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyleHints>
#include <QtTest>

namespace {
QRect twips(const QWidget *w)
{
    return {Twips::tw(w->x()), Twips::tw(w->y()), Twips::tw(w->width()), Twips::tw(w->height())};
}
QRect tw(int l, int t, int w, int h) { return {l, t, w, h}; }

// Columns that are dark over most of a text band: the strokes of "|" among them.
QSet<int> fullHeightColumns(const QImage &img, int top, int height, int from, int to)
{
    QSet<int> out;
    for (int x = from; x < to; ++x) {
        int dark = 0;
        for (int y = top; y < top + height; ++y)
            dark += qGray(img.pixel(x, y)) < 128;
        if (dark >= height * 7 / 10)
            out.insert(x);
    }
    return out;
}
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { f = std::make_unique<PiruneFixture>(); }
    void cleanup() { f.reset(); }

    void layoutFollowsResizeRule_data();
    void layoutFollowsResizeRule();
    void tabOrder();
    void listHeaderLinesUpWithList();
    void trayButtonCodesAndSettingsItem();
    void trayActivationsBecomeButtonCodes_data();
    void trayActivationsBecomeButtonCodes();
    void versionText();
    void versionWindowIsOpenedOnce();
    void exitEndsWithoutQuestion();
    void hiddenMainWindowSurvivesClosedMessageWindow();
    void withoutTrayTheWindowIsShownAndCloseMinimises();

private:
    std::unique_ptr<PiruneFixture> f;
};

void TestWindow::layoutFollowsResizeRule_data()
{
    QTest::addColumn<int>("clientW"); // asked for, in pixels
    QTest::addColumn<int>("clientH");
    QTest::addColumn<int>("dW"); // expected growth over the minimum, in twips
    QTest::addColumn<int>("dH");
    QTest::newRow("minimum") << 609 << 327 << 0 << 0;
    QTest::newRow("below minimum both ways") << 300 << 100 << 0 << 0;
    QTest::newRow("+600 / +300 twips") << 649 << 347 << 600 << 300;
    QTest::newRow("only width too small") << 100 << 347 << 0 << 300;
    QTest::newRow("only height too small") << 649 << 10 << 600 << 0;
}

void TestWindow::layoutFollowsResizeRule()
{
    QFETCH(int, clientW);
    QFETCH(int, clientH);
    QFETCH(int, dW);
    QFETCH(int, dH);
    F_Pirune &w = f->start();
    w.show();
    w.setMinimumSize(0, 0); // let the window system give a size the rule must correct
    w.resize(clientW, clientH);
    w.Form_Resize();
    QCOMPARE(Twips::tw(w.width()) + 90, 9225 + dW);
    QCOMPARE(Twips::tw(w.height()) + 405, 5310 + dH);

    QCOMPARE(twips(w.Label1), tw(120, 120, 8775 + dW, 375));
    QCOMPARE(twips(w.lstItiran), tw(120, 360, 8775 + dW, 2010));
    QCOMPARE(twips(w.fra1), tw(120, 2520, 8775 + dW, 1815 + dH));
    QCOMPARE(twips(w.Label2_0), tw(240, 240, 855, 255));
    QCOMPARE(twips(w.DTP_YMD), tw(1560, 240, 1335, 375));
    QCOMPARE(twips(w.txt_SetteiJikoku), tw(2880, 240, 615, 375));
    QCOMPARE(twips(w.Label2_3), tw(240, 600, 1335, 255));
    QCOMPARE(twips(w.txtSetteiMes), tw(1560, 600, 6015 + dW, 615 + dH));
    QCOMPARE(twips(w.cmd_Add), tw(120, 1320 + dH, 975, 375));
    QCOMPARE(twips(w.cmd_Settei), tw(1200, 1320 + dH, 975, 375));
    QCOMPARE(twips(w.cmd_Del), tw(2280, 1320 + dH, 975, 375));
    QCOMPARE(twips(w.cmd_Clear), tw(3360, 1320 + dH, 975, 375));
    QCOMPARE(twips(w.cmdEnd), tw(8040 + dW, 4440 + dH, 975, 375));
}

void TestWindow::tabOrder()
{
    F_Pirune &w = f->start();
    const QList<QWidget *> expected{w.cmdEnd,     w.txt_SetteiJikoku, w.txtSetteiMes, w.cmd_Add,  w.cmd_Settei,
                                    w.cmd_Del,    w.cmd_Clear,        w.lstItiran,    w.DTP_YMD};
    QList<QWidget *> seen;
    QWidget *x = w.cmdEnd;
    do {
        if ((x->focusPolicy() & Qt::TabFocus) && expected.contains(x))
            seen << x;
        x = x->nextInFocusChain();
    } while (x != w.cmdEnd && seen.size() < 20);
    QCOMPARE(seen, expected);
}

void TestWindow::listHeaderLinesUpWithList()
{
    f->writeText(QStringLiteral("2026/12/09 10:00|x\t設定\t0\r\n"));
    F_Pirune &w = f->start();
    QCOMPARE(w.Label1->font(), w.lstItiran->font());
    const QFontMetrics fm(w.lstItiran->font());
    const int column = fm.horizontalAdvance(QStringLiteral("0"));
    for (const char *glyphs : {"i", "W", "|", " ", "/"})
        QCOMPARE(fm.horizontalAdvance(QString::fromLatin1(glyphs)), column);
    QVERIFY(qAbs(fm.horizontalAdvance(QStringLiteral("設")) - 2 * column) <= 1); // full width: two columns

    w.show();
    const QImage img = w.grab().toImage();
    const int rowH = fm.ascent();
    const int headerTop = w.Label1->y() + 2;
    const QRect row = w.lstItiran->visualItemRect(w.lstItiran->item(0))
                          .translated(w.lstItiran->mapTo(&w, w.lstItiran->viewport()->pos()));
    const QSet<int> header = fullHeightColumns(img, headerTop, rowH - 2, w.Label1->x(), w.Label1->x() + 200);
    const QSet<int> line = fullHeightColumns(img, row.y() + (row.height() - rowH) / 2 + 1, rowH - 2,
                                             w.lstItiran->x(), w.lstItiran->x() + 200);
    QVERIFY2(header.intersects(line), "the header's \"|\" does not stand above the list's \"|\"");
}

void TestWindow::trayButtonCodesAndSettingsItem()
{
    f->writeText(QStringLiteral("2026/12/09 10:00\ta\t0\r\n"));
    F_Pirune &w = f->start(false);
    w.TrayControl1_DblClick(1);
    w.TrayControl1_Click(0);
    QVERIFY(!w.isVisible() && !w.mnuPopup->isVisible());
    w.TrayControl1_Click(1);
    QVERIFY(w.mnuPopup->isVisible());
    w.mnuPopup->hide();

    w.mnu_Popup[1]->trigger(); // "設定(&S)..." shows it as a double-click does
    QVERIFY(w.isVisible());
    QCOMPARE(w.lstItiran->count(), 1);
    w.hide();
    w.TrayControl1_DblClick(0);
    w.TrayControl1_DblClick(0);
    QVERIFY(w.isVisible());
    int mainWindows = 0;
    for (QWidget *t : QApplication::topLevelWidgets())
        mainWindows += qobject_cast<F_Pirune *>(t) != nullptr;
    QCOMPARE(mainWindows, 1);
    QVERIFY(f->boxes.boxes.isEmpty());
}

void TestWindow::trayActivationsBecomeButtonCodes_data()
{
    // T activation (click), D double-click, _ a pause beyond the double-click interval
    QTest::addColumn<QString>("activations");
    QTest::addColumn<QString>("codes");
    QTest::newRow("lone activation") << "T" << "C0";
    QTest::newRow("two activations") << "TT" << "C0 D0";
    QTest::newRow("two far apart") << "T_T" << "C0 C0";
    QTest::newRow("XEmbed double-click, then a click") << "TDT" << "C0 D0 C0";
    QTest::newRow("three activations") << "TTT" << "C0 D0 C0";
}

void TestWindow::trayActivationsBecomeButtonCodes()
{
    QFETCH(QString, activations);
    QFETCH(QString, codes);
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(100);
    TrayControl tray;
    QStringList got;
    connect(&tray, &TrayControl::Click, this, [&](short b) { got << QStringLiteral("C%1").arg(b); });
    connect(&tray, &TrayControl::DblClick, this, [&](short b) { got << QStringLiteral("D%1").arg(b); });
    for (QChar c : activations) {
        if (c == '_')
            QTest::qWait(150);
        else
            tray.activated(c == 'T' ? QSystemTrayIcon::Trigger : QSystemTrayIcon::DoubleClick);
    }
    QCOMPARE(got.join(' '), codes);
}

void TestWindow::versionText()
{
    QCOMPARE(frmVersion::runningVersionText(), QStringLiteral("test_window(簡易スケジューラー)\r\nVersion 2.5.25"));
    QCOMPARE(frmVersion::versionText(QStringLiteral("Pirune"), QStringLiteral("簡易スケジューラー"), 2, 5, 25),
             QStringLiteral("Pirune(簡易スケジューラー)\r\nVersion 2.5.25"));
    QCOMPARE(frmVersion::versionText(QStringLiteral("P"), QStringLiteral("d"), 10, 0, 0), QStringLiteral("P(d)\r\nVersion 10.0.0"));
}

void TestWindow::versionWindowIsOpenedOnce()
{
    F_Pirune &w = f->start();
    w.mnu_Popup_Click(0);
    frmVersion *first = w.versionWindow();
    QVERIFY(first && first->isVisible());
    QCOMPARE(first->txtVer->toPlainText(), QStringLiteral("test_window(簡易スケジューラー)\nVersion 2.5.25"));
    QVERIFY(first->txtVer->isReadOnly());
    QCOMPARE(first->size(), QSize(355, 169));
    w.mnu_Popup_Click(0);
    QCOMPARE(w.versionWindow(), first);
    QTest::mouseClick(first->cmdClose, Qt::LeftButton);
    QVERIFY(!first->isVisible());
    w.mnu_Popup_Click(0);
    QCOMPARE(w.versionWindow(), first);
    QVERIFY(first->isVisible());
    int versions = 0;
    for (QWidget *t : QApplication::topLevelWidgets())
        versions += qobject_cast<frmVersion *>(t) != nullptr;
    QCOMPARE(versions, 1);
}

void TestWindow::exitEndsWithoutQuestion()
{
    int exits = 0;
    F_Pirune::exitProcess() = [&] { ++exits; };
    f->writeText(QStringLiteral("2026/12/09 10:00\ta\t0\r\n"));
    F_Pirune &w = f->start();
    const QByteArray before = f->data();
    w.multiMessageBox(QStringLiteral("one"), QString());
    w.multiMessageBox(QStringLiteral("two"), QString());
    w.mnu_Popup[3]->trigger();
    QCOMPARE(exits, 1);
    QVERIFY(f->boxes.boxes.isEmpty());
    QCOMPARE(f->data(), before);
}

void TestWindow::hiddenMainWindowSurvivesClosedMessageWindow()
{
    F_Pirune &w = f->start();
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    w.multiMessageBox(QStringLiteral("hello"), QString());
    QCOMPARE(PiruneFixture::messageWindows().size(), 1);
    QTest::mouseClick(PiruneFixture::messageWindows().first()->cmdOk, Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(PiruneFixture::messageWindows().isEmpty());
    QVERIFY(!w.isVisible());
    QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
    QCOMPARE(quitting.count(), 0);
    QVERIFY(w.Timer1->isActive());
}

void TestWindow::withoutTrayTheWindowIsShownAndCloseMinimises()
{
    if (TrayControl::hostAvailable())
        QSKIP("a notification area is present");
    F_Pirune::trayWaitSeconds() = 1;
    F_Pirune &w = f->start();
    QVERIFY(!w.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 5000);
    QVERIFY(w.trayFallbackActive());
    w.cmdEnd_Click();
    QVERIFY(w.isVisible() || w.isMinimized());
    F_Pirune::trayWaitSeconds() = 30;
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"

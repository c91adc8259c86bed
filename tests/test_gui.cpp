#include "PiruneFixture.h"

#include "store/DataFileWatch.h"
#include "tray/VersionWindow.h"
#include "widgets/KeyGuard.h"
#include "widgets/WidgetMessageBox.h"
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QResizeEvent>
#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

using Answer = MessageSeam::Answer;

namespace {
const QByteArray kThree =
    lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t1"});
const QByteArray kDue = lines({"2026/12/07 09:05\t会議\\n資料\t0", "2026/12/08 09:05\tlater\t0"});
const QString kAsk = "確認: 未通知のメッセージがあります。\r\n表示しますか？";
const QString kSplit = "ｴﾗｰ: ｴﾗｰ番号 9  Pirune ( Split ) でｴﾗｰが発生しました。\r"
                       "インデックスが有効範囲にありません。";
const QString kFolder = "Pirune: SaveDataToFile Code:75 / Msg:パス/ファイル アクセス エラーです。 "
                        "(DIR/Pirune.dat: フォルダーです)";

// What the user does to a list whose line `from` is picked and whose editor they changed: a key,
// or else a click on line `clicked` (-1: below the lines).
struct Pick {
    int from;
    Qt::Key key;
    int clicked;
    int picked;
    QString editor;
    bool badLineReported;
};

} // namespace

class TestGui : public QObject {
    Q_OBJECT
private slots:
    // A window made larger moves and stretches each control by its share of the growth; one made
    // smaller than it opens goes back to that size.
    void resize_data() {
        QTest::addColumn<bool>("message");
        QTest::addColumn<QSize>("asked"); // over the size the window opens at, in pixels
        QTest::addColumn<QSize>("grown");
        QTest::newRow("larger") << false << QSize(40, 20) << QSize(40, 20);
        QTest::newRow("smaller") << false << QSize(-300, -200) << QSize(0, 0);
        QTest::newRow("only narrower") << false << QSize(-500, 20) << QSize(0, 20);
        QTest::newRow("message, larger") << true << QSize(100, 50) << QSize(100, 50);
        QTest::newRow("message, smaller") << true << QSize(-300, -150) << QSize(0, 0);
    }
    void resize() {
        QFETCH(bool, message);
        QFETCH(QSize, asked);
        QFETCH(QSize, grown);
        PiruneFixture f;
        MainWindow &w = f.open("");
        MessageWindow m;
        m.show();
        QWidget &window = message ? static_cast<QWidget &>(m) : w;
        // The controls that share in the growth alike: moved by x and y, stretched by w and h.
        using Shares = QList<std::pair<QStringList, QRectF>>;
        const Shares shares =
            message ? Shares{{{"messageText"}, {0, 0, 1, 1}}, {{"okButton"}, {.5, 1, 0, 0}}}
                    : Shares{{{"listHeader", "noticeList"}, {0, 0, 1, 0}},
                             {{"editorFrame", "messageEdit"}, {0, 0, 1, 1}},
                             {{"timeLabel", "dateEdit", "timeEdit", "messageLabel"}, {}},
                             {{"addButton", "changeButton", "deleteButton", "clearButton"},
                              {0, 1, 0, 0}},
                             {{"closeButton"}, {1, 1, 0, 0}}};
        QList<std::tuple<QWidget *, QRectF, QRect>> controls; // each with its share, and where
        for (const auto &[names, share] : shares)
            for (const QString &name : names) {
                QWidget *control = window.findChild<QWidget *>(name);
                controls.append({control, share, control->geometry()});
            }
        const QSize opened = window.size();
        window.setMinimumSize(0, 0); // as a window system that ignores it
        window.resize(opened + asked);
        QResizeEvent resized(window.size(), window.size());
        QApplication::sendEvent(&window, &resized);
        QCOMPARE(window.size(), opened + grown);
        const int gw = grown.width(), gh = grown.height();
        for (const auto &[control, s, before] : controls)
            QCOMPARE(control->geometry(),
                     before.translated(qRound(s.x() * gw), qRound(s.y() * gh))
                         .adjusted(0, 0, qRound(s.width() * gw), qRound(s.height() * gh)));
        if (message)
            return;
        // Each inside its parent and clear of its siblings, but for a pixel where the design has
        // them meet (the header, which lies over the top of the list, aside).
        for (const auto &[a, s, r] : controls)
            for (const auto &[b, t, q] : controls)
                QVERIFY2(a->parentWidget()->rect().contains(a->geometry()) &&
                             (a == b || a->parentWidget() != b->parentWidget() ||
                              (a->objectName() + b->objectName()).contains("listHeader") ||
                              !a->geometry().adjusted(1, 1, -1, -1).intersects(b->geometry())),
                         qPrintable(a->objectName() + " " + b->objectName()));
        QCOMPARE(f.noticeList()->accessibleName(), "設定時刻 | 設定メッセージ");
        QStringList order; // the tab stops from 閉じる on
        for (QWidget *x = f.button("closeButton"); order.size() < 9; x = x->nextInFocusChain())
            if (x->focusPolicy() & Qt::TabFocus && !x->objectName().isEmpty())
                order << x->objectName();
        QCOMPARE(order.join(' '), "closeButton timeEdit messageEdit addButton changeButton "
                                  "deleteButton clearButton noticeList dateEdit");
        f.dateEdit()->setFocus(); // one tab stop, whose arrows go to the month and a month back
        for (const Qt::Key k : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Tab})
            QTest::keyClick(f.dateEdit(), k);
        QCOMPARE(QApplication::focusWidget(), f.button("closeButton"));
        QCOMPARE(f.dateEdit()->dateText(), "2026/11/07");
    }

    // The "|" of the header stands over the "|" of the lines, at any scale: the darkest columns of
    // their bands.
    void headerStandsOverTheLines() {
#ifdef Q_OS_WIN
        QSKIP("Wine lays the text out with other fonts than Windows");
#endif
        PiruneFixture f;
        QTest::failOnWarning(QRegularExpression("QPainter"));
        const QImage img = f.open("2026/12/24 10:00\tooo\t0\r\n").grab().toImage();
        const qreal s = img.devicePixelRatio();
        const auto darkest = [&](int top) { // the column with the most dark pixels of the band
            QList<int> dark(qRound(400 * s));
            for (int x = qRound(20 * s); x < dark.size(); ++x)
                for (int y = qRound(top * s); y < (top + 14) * s; ++y)
                    dark[x] += qGray(img.pixel(x, y)) < 100;
            return std::max_element(dark.begin(), dark.end()) - dark.begin();
        };
        QVERIFY2(qAbs(darkest(25) - darkest(9)) <= 1, qPrintable(QString::number(s)));
    }

    // Bad lines are told in one box, however many, and a blank line is none of them.
    void openedWhileTheSplitReportIsUp() {
        PiruneFixture f;
        f.during = [&] { f.open(); };
        f.start(
            lines({"2026/12/09 10:00\t三番目\t0", "2026/12/08 10:00\t二行\\n目\t1\textra", "",
                   "2026/12/10 10:00\t\t0\tx", "2026/12/11 10:00\ty\t0\tq", "2026/12/12\tz\t0\tr"}),
            "09:04:30");
        QCOMPARE(f.boxes(),
                 QStringList{kSplit + "\r\nデータファイルの 4 行が読み込めませんでした。最初の行:"
                                      "\r\n2026/12/08 10:00\t二行\\n目\t1\textra"
                                      "\r\n2026/12/10 10:00\t\t0\tx\r\n2026/12/11 10:00\ty\t0\tq"});
    }

    // Pirune starts behind its icon, creating an empty Data file; a double-click or 設定 opens the
    // window with the editor at the start time, Return on the focused 閉じる hides it again.
    void trayAndMenu() {
        int exits = 0;
        PiruneFixture f;
        MainWindow::exitProcess() = [&] { ++exits; };
        MainWindow &w = f.start({}, "09:04:30");
        QCOMPARE(f.data(), "");
        f.setClock("11:30:00");
        emit f.tray()->doubleClicked(1); // right button
        emit f.tray()->clicked(0);
        QVERIFY(!w.isVisible() && !f.tray()->menu()->isVisible());
        emit f.tray()->clicked(1);
        QVERIFY(f.tray()->menu()->isVisible() && f.tray()->menu()->actions().size() == 4);
        f.tray()->menu()->hide();
        f.action("openSettingsAction")->trigger(); // 設定
        QCOMPARE(f.editor(), "2026/12/07 09:04 ");
        QVERIFY(!f.button("changeButton")->isEnabled() && !f.button("deleteButton")->isEnabled());
        QCOMPARE(w.focusWidget(), f.button("closeButton"));
        QTest::keyClick(f.button("closeButton"), Qt::Key_Return);
        QVERIFY(!w.isVisible());
        for (int k = 0; k < 2; ++k) // two activations by a StatusNotifierItem host: a double-click
            f.tray()->activated(QSystemTrayIcon::Trigger, false);
        QVERIFY(w.isVisible());
        for (int item : {1, 1, 0, 0}) // 設定 and バージョン情報, twice each
            f.action(item ? "openSettingsAction" : "showVersionAction")->trigger();
        QVERIFY(w.isVisible() && w.findChild<VersionWindow *>()->isVisible());
        f.action("exitAction")->trigger(); // 終了
        QCOMPARE(exits, 1);
        QCOMPARE(f.saves(), 0); // nothing to save
        QCOMPARE(f.boxes(), QStringList());
    }

    // Message windows are independent and read-only, and Pirune outlives them. With no
    // notification area it shows its window after a while, and 閉じる then minimises it.
    void messageWindowsAndNoNotificationArea() {
        PiruneFixture f;
        TrayIcon::hostWaitSeconds() = 2;
        const auto restore = qScopeGuard([] { TrayIcon::hostWaitSeconds() = 30; });
        MainWindow &w = f.start("");
        f.scheduler()->start();
        MessageWindow::open("one\r\n" + QString(300, 'x'), QString());
        MessageWindow::open("two", "題");
        MessageWindow *one = PiruneFixture::messageWindows().at(0);
        const auto *told =
            QAccessible::queryAccessibleInterface(PiruneFixture::messageWindows()[1]);
        QCOMPARE(told->role(), QAccessible::Notification); // what a screen reader says as it opens
        QCOMPARE(told->text(QAccessible::Description), "two");
        auto *text = one->findChild<QPlainTextEdit *>("messageText");
        auto *ok = one->findChild<QPushButton *>("okButton");
        QCOMPARE(one->focusWidget(), ok);   // Enter closes it
        QTest::keyClick(ok, Qt::Key_Space); // typed for another program just as it opened
        QTest::mouseClick(text->viewport(), Qt::LeftButton); // the user turns to it
        text->setFocus();
        QTest::keyClicks(text, "typed");
        QTest::keyClick(text, Qt::Key_Backspace);
        QCOMPARE(PiruneFixture::messages(), (QStringList{"one\n" + QString(300, 'x'), "題: two"}));
        QTest::keyClick(ok, Qt::Key_Return);
        QCOMPARE(PiruneFixture::messages(), QStringList{"題: two"});
        const int quiet = int(KeyGuard::kQuietTime.count()); // no key since it opened
        QTimer::singleShot(quiet, [] {
            auto *two = PiruneFixture::messageWindows().first();
            QTest::keyClick(two->findChild<QPushButton *>("okButton"), Qt::Key_Return);
        });
        QTimer::singleShot(quiet + 300, [] { QCoreApplication::exit(7); });
        QCOMPARE(QCoreApplication::exec(), 7); // closing the last window did not end Pirune
        QVERIFY(PiruneFixture::messageWindows().isEmpty() && f.scheduler()->isRunning());
        if (f.tray()->isDocked())
            QSKIP("a notification area is present");
        QVERIFY(!w.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 5000);
        f.button("closeButton")->click();
        QVERIFY(w.isMinimized());
        f.w.reset();
        // Closed through its frame before the wait is over: no window is left, Pirune ends.
        MainWindow &closed = f.start("");
        QTimer::singleShot(3000, &closed, [] { QCoreApplication::exit(1); });
        QVERIFY(closed.close());
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void timeIsHhNn_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("refused");
        for (const auto &[typed, shown] :
             {std::pair{":", "__:__"}, {"12:3", "12:3_"}, {"24:00", "24:00"}, {"12:60", "12:60"}})
            QTest::addRow("%s refused", typed) << QString(typed) << QString(shown) << true;
        for (const auto &[typed, shown] : {std::pair{"00:00", "00:00"},
                                           {"23:59", "23:59"},
                                           {"１２:３４", "12:34"}}) // full-width digits
            QTest::addRow("%s", typed) << QString(typed) << QString(shown) << false;
    }
    void timeIsHhNn() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, refused);
        PiruneFixture f;
        MainWindow &w = f.open("");
        f.edit("2026/12/07", typed, "m\t\nn");  // a tab, pasted: the file's field separator
        for (const bool held : {false, true}) { // Enter held down on 追加 presses it once
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, {}, {}, held);
            QApplication::sendEvent(f.button("addButton"), &enter);
        }
        QCOMPARE(f.editor(), "2026/12/07 " + shown + (refused ? " m\t/n" : " m/n"));
        QCOMPARE(f.boxes(),
                 refused ? QStringList{"Pirune: hh:nnの形式で入力して下さい"} : QStringList());
        QCOMPARE(f.data(), refused ? "" : "2026/12/07 " + shown.toLatin1() + "\tm\\nn\t0\r\n");
        if (refused)
            QCOMPARE(w.focusWidget(), f.timeEdit());
    }

    // Every way the user picks a line loads it into the editor once, also off a line that cannot
    // be loaded; only picking another line changes the pick.
    void pickALine_data() {
        QTest::addColumn<Pick>("p");
        const QString a = "2026/12/09 10:00 a", c = "2027/01/05 09:05 c", d = "2026/12/12 10:00 d",
                      edited = "2026/12/07 08:00 edited";
        QTest::newRow("Space") << Pick{-1, Qt::Key_Space, 0, 0, a, false};
        QTest::newRow("End") << Pick{-1, Qt::Key_End, 0, 3, d, false};
        QTest::newRow("Page Up") << Pick{3, Qt::Key_PageUp, 0, 0, a, false};
        QTest::newRow("a letter, off a bad line") << Pick{1, Qt::Key_2, 0, 2, c, true};
        QTest::newRow("a click, off a bad line") << Pick{1, {}, 3, 3, d, true};
        QTest::newRow("a click on the picked line") << Pick{2, {}, 2, 2, c, false};
        QTest::newRow("a click below the lines") << Pick{2, {}, -1, 2, edited, false};
    }
    void pickALine() {
        QFETCH(Pick, p);
        PiruneFixture f;
        MainWindow &w = f.open(lines({"2026/12/09 10:00\ta\t0", "bad\tb\t0", "2027/1/5 9:05\tc\t0",
                                      "2026/12/12 10:00\td\t0"}));
        f.pick(p.from);
        f.edit("2026/12/07", "08:00", "edited");
        QListWidget *list = f.noticeList();
        list->setFocus();
        if (p.key)
            QTest::keyClick(list, p.key);
        else if (const QListWidgetItem *item = list->item(p.clicked))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(item).center());
        else
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              {5, list->viewport()->height() - 5});
        QCOMPARE(f.picked(), p.picked);
        QCOMPARE(f.editor(), p.editor);
        QCOMPARE(f.boxes(), p.badLineReported
                                ? QStringList{"Pirune: lstItiran_Click Code:-2147467259 / "
                                              "Msg:コントロールの呼び出しに失敗しました。 "
                                              "(DTP_YMD.Value = \"bad\")"}
                                : QStringList());
        QCOMPARE(w.focusWidget(), f.noticeList());
    }

    void changeMovesTheNoticeAndShowsItAgain() {
        PiruneFixture f;
        f.open(lines({"2026/12/07 09:00\ta\t1", "2026/12/08 09:00\tb\t1"}));
        f.edit("2026/12/07", "99:99", "x");
        f.button("changeButton")->click();
        f.button("deleteButton")->click();
        QCOMPARE(f.boxes(), (QStringList{"Pirune: 変更対象を選択してください",
                                         "Pirune: 削除対象を選択してください"}));
        f.pick(0);
        f.edit("2026/12/10", "07:15", "a moved");
        f.button("changeButton")->click();
        QCOMPARE(f.picked(), 1);
        QCOMPARE(f.list(), (QStringList{"2026/12/08 09:00|b", "2026/12/10 07:15|a moved"}));
        QCOMPARE(f.data(), lines({"2026/12/08 09:00\tb\t1", "2026/12/10 07:15\ta moved\t0"}));
        f.setClock("18:45:00");
        f.button("clearButton")->click();
        QCOMPARE(f.editor(), "2026/12/10 18:45 ");
        f.pass("18:49:00");
        f.pick(0); // changed to a minute today, it is shown at that minute
        f.edit("2026/12/07", "18:50", "b now");
        f.button("changeButton")->click();
        f.pass("18:50:00");
        QCOMPARE(PiruneFixture::messages(), QStringList{"b now"});
        f.pick(0);
        f.button("deleteButton")->click(); // No, the default
        QCOMPARE(f.list().size(), 2);
        f.answers << Answer::Yes << Answer::Yes; // deleted both, the editor starts anew
        f.button("deleteButton")->click();
        f.pick(0);
        f.button("deleteButton")->click();
        QCOMPARE(f.editor(), "2026/12/10 18:50 ");
        QVERIFY(!f.button("changeButton")->isEnabled() && !f.button("deleteButton")->isEnabled());
        f.w->setOwnerCheck([] { return false; }); // another Pirune has taken the file
        f.edit("2026/12/07", "10:00", "x");
        f.button("addButton")->click();
        QVERIFY(f.boxes().join(" ").contains("別の Pirune がデータファイルを使い始めた"));
        QCOMPARE(f.data(), "");
    }

    void refusedCharacter() {
        PiruneFixture f;
        MainWindow &w = f.open(kThree);
        const QString refused = "Pirune: メッセージの文字「🎉」(U+1F389)はデータファイルに保存"
                                "できません。この文字を除くか、別の文字に置き換えてください。";
        f.edit("2026/12/07", "10:00", "🎉 x");
        f.button("addButton")->click();
        QCOMPARE(f.boxes(), QStringList{refused});
        f.pick(0);
        f.edit("2026/12/07", "10:00", "🎉");
        f.button("changeButton")->click();
        QCOMPARE(f.boxes(), QStringList{refused});
        QCOMPARE(w.focusWidget(), f.messageEdit());
        QCOMPARE(f.list().size(), 3);
        QCOMPARE(f.data(), kThree);
    }

    void unreadDataFileIsNeverOverwritten() {
        PiruneFixture f;
        f.makeDataFileAFolder();
        f.start({});
        QDir(f.dir.path()).rmdir("Pirune.dat");
        f.open();
        f.edit("2026/12/07", "09:00", "x");
        f.button("addButton")->click();
        QCOMPARE(f.list(), QStringList{"2026/12/07 09:00|x"});
        QCOMPARE(f.boxes(),
                 (QStringList{"Pirune: Form_Load Code:75 / Msg:パス/ファイル アクセス エラーです。 "
                              "(DIR/Pirune.dat: file to open is a directory)",
                              "Pirune: SaveDataToFile Code:1002 / Msg:起動時にデータファイルを"
                              "最後まで読み込めなかったため、上書きしません。データファイルを"
                              "確認してから Pirune を起動し直してください。 (DIR/Pirune.dat)"}));
        QCOMPARE(f.data(), "<missing>");
    }

    // 終了 with changes a save could not write names each notice once, by what happened to it.
    void exitWithChangesASaveCouldNotWrite() {
        PiruneFixture f;
        f.open(kThree);
        f.makeDataFileAFolder();
        f.pass("09:00:00"); // a is shown
        f.pick(2);
        f.edit("2026/12/09", "10:00", "c2");
        f.button("changeButton")->click();
        f.pick(1);
        f.answers << Answer::Yes;
        f.button("deleteButton")->click();
        QCOMPARE(f.list(), (QStringList{"2026/12/07 09:00|a", "2026/12/09 10:00|c2"}));
        f.edit("2026/12/07", "08:30", "mine");
        f.button("addButton")->click();
        f.edit("2026/12/07", "08:30", "mine2");
        f.button("changeButton")->click();
        f.action("exitAction")->trigger(); // 終了
        QCOMPARE(f.boxes(), (QStringList{kFolder, "確認: 削除しますか？",
                                         "Pirune: 次の変更はデータファイルに保存されていないため、"
                                         "失われます。\r\n表示済みの印: 2026/12/07 09:00 a\r\n"
                                         "変更: 2026/12/09 09:00 c → 2026/12/09 10:00 c2\r\n"
                                         "削除: 2026/12/08 09:00 b\r\n"
                                         "追加: 2026/12/07 08:30 mine2"}));
    }

    // A sync client's change keeps the user's place: the picked notice, written anew by hand,
    // stays picked with the text typed, and 変更 changes it, also when 変更 is what reads the
    // change; one that is gone is told at once and the typed text stays.
    void reloadKeepsThePick() {
        PiruneFixture f;
        f.open(lines({"2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t0"}));
        f.pick(1);
        f.messageEdit()->setPlainText("c typed");
        f.writeBySync(lines({"2026/12/9 9:00\tc\t0", "2026/12/10 9:00\ta\t0"}));
        f.pass("09:05:00"); // the minute's pass sees it settling; the program is then busy
        QTest::qSleep(600);
        f.button("changeButton")->click(); // and 変更 reads it first
        QCOMPARE(f.boxes(), QStringList());
        QCOMPARE(f.data(), lines({"2026/12/09 09:00\tc typed\t0", "2026/12/10 09:00\ta\t0"}));
        f.messageEdit()->setPlainText("typed again");
        f.writeBySync(lines({"2026/12/10 09:00\ta\t0"}));
        QTRY_COMPARE(f.list(), QStringList{"2026/12/10 09:00|a"});
        QCOMPARE(f.boxes(),
                 QStringList{"Pirune: データファイルが Pirune の外で変更されたため、一覧を"
                             "読み込み直しました。選択していた通知はデータファイルに"
                             "ありません。入力中の内容はそのまま残しています。"});
        QCOMPARE(f.editor(), "2026/12/09 09:00 typed again");
        QCOMPARE(f.picked(), -1);
        // A change written while the 削除 question is open is read once it is answered.
        f.pick(0);
        f.answers << Answer::Yes;
        f.during = [&] {
            f.writeBySync(lines({"2026/12/10 09:00\ta\t0", "2026/12/11 09:00\td\t0"}));
            QVERIFY(QSignalSpy(f.w->findChild<DataFileWatch *>(), &DataFileWatch::changedOutside)
                        .wait());
            QCOMPARE(f.list(), QStringList{"2026/12/10 09:00|a"});
        };
        f.button("deleteButton")->click();
        QTRY_COMPARE(f.list(), QStringList{"2026/12/11 09:00|d"});
        QCOMPARE(f.data(), lines({"2026/12/11 09:00\td\t0"}));
    }

    // Opened from the tray while the start-up question waits, the window brings the question up
    // over its middle, where the user can answer it; a message window answers meanwhile.
    void openedWhileTheQuestionWaits() {
        PiruneFixture f;
        writeFile(f.path, lines({"2026/12/07 08:00\tmissed\t0"}));
        f.w = std::make_unique<MainWindow>(f.path);
        installWidgetMessageBoxes(f.w.get());
        QPoint off;
        QTimer::singleShot(0, f.w.get(), [&] { // while the question is open
            f.w->move(37, 41);
            emit f.tray()->doubleClicked(0);
            QWidget *box = QApplication::activeModalWidget();
            off = box->frameGeometry().center() - f.w->frameGeometry().center();
            MessageWindow::open("closed while asked", QString()); // the box blocks only the window
            MessageWindow *m = PiruneFixture::messageWindows().constLast();
            const QPushButton *ok = m->findChild<QPushButton *>("okButton");
            QTest::mouseClick(m->windowHandle(), Qt::LeftButton, {}, ok->geometry().center());
            static_cast<QMessageBox *>(box)->defaultButton()->click(); // はい
        });
        f.w->start();
        QVERIFY2(off.manhattanLength() <= 8, qPrintable(QString::number(off.manhattanLength())));
        QCOMPARE(PiruneFixture::messages(), QStringList{"missed"});
    }

    // A notice is shown in second :00 of its minute, once however many passes come then, and
    // saved as shown; a first pass in any later second of it shows nothing.
    void dueAtItsMinuteOnce_data() {
        QTest::addColumn<QString>("time");
        for (const char *time : {"09:05:00", "09:05:01", "09:05:30", "09:05:59"})
            QTest::newRow(time) << QString(time);
    }
    void dueAtItsMinuteOnce() {
        QFETCH(QString, time);
        const bool due = time == "09:05:00";
        PiruneFixture f;
        MainWindow &w = f.start(kDue, "09:04:30");
        f.pass(qPrintable(time));
        f.pass(qPrintable(time));
        QCOMPARE(PiruneFixture::messages(), due ? QStringList{"会議\n資料"} : QStringList());
        QCOMPARE(f.data(),
                 due ? lines({"2026/12/07 09:05\t会議\\n資料\t1", "2026/12/08 09:05\tlater\t0"})
                     : kDue);
        QCOMPARE(f.saves(), int(due));
        QCOMPARE(f.boxes(), QStringList());
        QVERIFY(!w.isVisible());
    }

    // A pass a little late still shows the minute's notices; the clock set back does not repeat
    // them.
    void latePassCatchesUp() {
        PiruneFixture f;
        f.start(lines({"2026/12/07 09:05\tfirst\t0", "2026/12/07 09:06\tsecond\t0",
                       "2026/12/07 09:07\tthird\t0"}),
                "09:04:30");
        for (const char *time :
             {"09:04:59", "09:05:02", "09:05:58", "09:06:03", "09:06:30", "09:05:00", "09:09:00"})
            f.pass(time); // the last after a stop across 09:07: its notice is offered, not lost
        QTRY_COMPARE(PiruneFixture::messages(), (QStringList{"first", "second", "third"}));
        QCOMPARE(f.boxes(), QStringList{kAsk});
    }

    // Notices due before the start are offered once, Yes the default, and shown in file order.
    void missedAtTheStart() {
        PiruneFixture f;
        f.start(lines({"2026/12/07 08:00\tthird\t0", "2026/12/06 10:00\tfirst\t0",
                       "2027/01/01 00:00\tfuture\t0", "2026/12/01 10:00\tshown\t1",
                       "2026/12/07 09:04\tsecond\\nline\t0"}),
                "09:04:30");
        f.pass("09:04:30");
        QCOMPARE(f.shownBoxes.at(0).defaultAnswer, Answer::Yes);
        QCOMPARE(f.boxes(), QStringList{kAsk});
        QCOMPARE(PiruneFixture::messages(), (QStringList{"third", "first", "second\nline"}));
        QCOMPARE(f.data(), lines({"2026/12/07 08:00\tthird\t1", "2026/12/06 10:00\tfirst\t1",
                                  "2027/01/01 00:00\tfuture\t0", "2026/12/01 10:00\tshown\t1",
                                  "2026/12/07 09:04\tsecond\\nline\t1"}));
    }

    // A flood of missed notices opens a batch at a time, each batch marked and saved as it opens:
    // while the rest wait (here behind the open menu) a sync client's change is read without
    // offering them again, the one it deleted never opens, an 追加 and 終了 save exactly the
    // opened ones; and each opens once.
    void floodOfMissedNotices() {
        PiruneFixture f;
        QByteArrayList rows;
        for (int k = 10; k < 55; ++k)
            rows << "2026/12/06 10:" + QByteArray::number(k) + "\tmissed\t0";
        f.start(lines(rows << "2026/12/07 09:05\tdue\t0"), "09:04:30");
        f.pass("09:05:00"); // a notice due meanwhile waits its turn
        f.tray()->menu()->popup({0, 0});
        QCOMPARE(PiruneFixture::messages().size(), 20);
        QCOMPARE(f.data().count("\t1\r\n"), 20);
        f.writeBySync(f.data().replace("2026/12/06 10:54\tmissed\t0\r\n", "") +
                      PiruneFixture::kByHand);
        QTRY_COMPARE(f.w->findChild<NoticeFile *>()->reloadCount(), 1);
        f.open();
        f.edit("2026/12/07", "10:00", "added");
        f.button("addButton")->click();
        f.action("exitAction")->trigger(); // 終了, the menu closed by the window or not
        QCOMPARE(f.data().count("\t1\r\n"), PiruneFixture::messages().size());
        f.tray()->menu()->close();
        QTRY_COMPARE(PiruneFixture::messages().size(), 45);
        QTRY_COMPARE(f.data().count("\t1\r\n"), 45);
        QCOMPARE(f.boxes(), QStringList{kAsk});
    }

    // A notice declined at the question is not offered again in this run, even where a sync
    // client rewrote its hand-written date-time; one added by hand after its minute is.
    void declinedStaysDeclined() {
        PiruneFixture f;
        f.answers << Answer::No << Answer::Yes;
        f.start(lines({"2026/12/7 9:05\tmissed\t0"}), "09:35:30");
        f.writeBySync(lines({"2026/12/07 09:05\tmissed\t0"}) + PiruneFixture::kByHand);
        QTRY_COMPARE(f.shownBoxes.size(), 2);
        QCOMPARE(PiruneFixture::messages(), QStringList{"手で追加"});
    }

    // The clock is set while Pirune sleeps until the next minute.
    void clockSetWhileAsleep() {
        const QByteArray file = lines({"2026/12/07 09:05\tdone\t1", "2026/12/07 09:05\tx\t0"});
        for (const bool forward : {true, false}) {
            PiruneFixture f;
            f.answers << Answer::No;
            f.start(file, forward ? "09:04:30" : "09:05:30");
            f.scheduler()->start();
            QTRY_VERIFY(f.scheduler()->isAsleep());
            f.setClock(forward ? "09:20:00" : "09:04:59");
#ifdef Q_OS_WIN // as Windows tells it: a resume from sleep, a clock set by hand
            PostMessageW(HWND_BROADCAST, forward ? WM_POWERBROADCAST : WM_TIMECHANGE,
                         forward ? PBT_APMRESUMEAUTOMATIC : 0, 0);
#else
            Clock::notifyChanged();
#endif
            f.setClock(forward ? "09:20:01" : "09:05:00");
            if (forward) // x is offered; back, it was asked about at the start, and is now due
                QTRY_COMPARE(f.shownBoxes.size(), 1);
            else
                QTRY_COMPARE(PiruneFixture::messages(), QStringList{"x"});
            QCOMPARE(f.boxes(), QStringList{kAsk});
            QCOMPARE(PiruneFixture::messages(), forward ? QStringList() : QStringList{"x"});
            QCOMPARE(f.data(),
                     forward ? file
                             : lines({"2026/12/07 09:05\tdone\t1", "2026/12/07 09:05\tx\t1"}));
        }
    }
};

QTEST_MAIN(TestGui)
#include "test_gui.moc"

#include "PiruneFixture.h"
#include "tray/TrayControl.h"
#include "widgets/Twips.h"
#include "widgets/WidgetMessageBox.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QtTest>

namespace {
QByteArray lines(const QByteArrayList &rows) {
    return rows.join("\r\n") + "\r\n";
}
const QByteArray kLater = "2026/12/09 10:00\ta\t0\r\n";
const QByteArray kThree =
    lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t1"});

QDateTime at(const QString &hhmmss) {
    return {QDate(2026, 12, 7), QTime::fromString(hhmmss, "hh:mm:ss")};
}

// What the user and the clock do, steps separated by "; ": "@hh:mm:ss" starts Pirune on `file` at
// that time, its timer stopped; "open" opens the window from the tray, "menu <n>" runs a tray menu
// item; "ed <date> <time> <message>" fills the editor; "sel <line>" selects a line as the program
// does, "click <line>", "ctrl-click <line>" and "key <key>" as the user does (line -1: below the
// lines); "add", "change", "del", "clear" press the buttons; "yes" and "no" answer the next box,
// "during <step>, <step>..." runs steps while the next box is open; "hh:mm:ss" is a timer pass at
// that time, "=hh:mm:ss" only sets the clock, "~hh:mm:ss" sets it with the system's notice, "live"
// runs the timer until it sleeps till the next minute, "wait[ms]" lets timers and queued work run;
// "break" and "mend" make the Data file a folder and a file again; "append" and "outside" add the
// notice "2026/12/07 09:30 手で追加" to it, in place or by a rename over it. "look" and "list" note
// what the user sees of the window and the list's lines; they are returned.
QStringList run(PiruneFixture &f, const QByteArray &file, const QString &script) {
    QStringList looks;
    std::function<void(const QString &)> step = [&](const QString &s) {
        const QString cmd = s.section(' ', 0, 0), arg = s.section(' ', 1);
        F_Pirune *w = f.w.get();
        const QMap<QString, QPushButton *> buttons =
            w ? QMap<QString, QPushButton *>{{"add", w->cmd_Add},
                                             {"change", w->cmd_Settei},
                                             {"del", w->cmd_Del},
                                             {"clear", w->cmd_Clear}}
              : QMap<QString, QPushButton *>();
        if (cmd.startsWith('@')) {
            Clock::setFixed(at(cmd.mid(1)));
            f.start(file, false).Timer1->stop();
        } else if (cmd == "open") {
            emit w->TrayControl1->DblClick(0);
            [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(w);
        } else if (cmd == "menu") {
            w->mnu_Popup[arg.toInt()]->trigger();
        } else if (cmd == "ed") {
            w->DTP_YMD->setDate(QDate::fromString(arg.section(' ', 0, 0), "yyyy/MM/dd"));
            w->txt_SetteiJikoku->setText(arg.section(' ', 1, 1));
            w->txtSetteiMes->setPlainText(arg.section(' ', 2));
        } else if (cmd == "sel") {
            w->setListIndex(arg.toInt());
        } else if (cmd == "click" || cmd == "ctrl-click") {
            const QListWidgetItem *line = w->lstItiran->item(arg.toInt());
            QTest::mouseClick(w->lstItiran->viewport(), Qt::LeftButton,
                              cmd == "click" ? Qt::NoModifier : Qt::ControlModifier,
                              line ? w->lstItiran->visualItemRect(line).center()
                                   : QPoint(5, w->lstItiran->viewport()->height() - 5));
        } else if (cmd == "key") { // in the list
            w->lstItiran->setFocus();
            QTest::keyClick(w->lstItiran, QKeySequence(arg)[0].key());
        } else if (buttons.contains(cmd)) {
            buttons[cmd]->click();
        } else if (cmd == "yes" || cmd == "no") {
            f.boxes.answers << (cmd == "yes" ? MessageSeam::Answer::Yes : MessageSeam::Answer::No);
        } else if (cmd == "during") {
            f.boxes.during = [&step, steps = arg.split(", ")](const auto &) {
                std::for_each(steps.begin(), steps.end(), step);
            };
        } else if (cmd == "live") {
            w->Timer1->start(100);
            QTRY_VERIFY(w->Timer1->interval() > 100);
        } else if (cmd.startsWith("wait")) {
            QTest::qWait(cmd.size() > 4 ? cmd.mid(4).toInt() : 300);
        } else if (cmd == "append" ||
                   cmd == "outside") { // by hand in place, or a sync tool's rename
            const QByteArray added = f.data() + "2026/12/07 09:30\t手で追加\t0\r\n";
            QFile file(cmd == "append" ? f.path : f.path + ".sync");
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(added) == added.size());
            file.close();
            QVERIFY(cmd == "append" ||
                    std::rename(qPrintable(file.fileName()), qPrintable(f.path)) == 0);
        } else if (cmd == "break") {
            QFile::remove(f.path);
            QDir(f.dir.path()).mkdir("Pirune.dat");
        } else if (cmd == "mend") {
            QDir(f.dir.path()).rmdir("Pirune.dat");
        } else if (cmd == "look" || cmd == "list") {
            looks << (cmd == "look" ? f.seen() : f.listLines().join('\n'));
        } else {
            Clock::setFixed(at(cmd.mid(cmd[0].isDigit() ? 0 : 1)));
            if (cmd[0] == '~')
                Clock::notifyChanged();
            else if (cmd[0].isDigit())
                w->Timer1_Timer();
        }
    };
    for (const QString &s : script.split("; "))
        step(s);
    return looks;
}

// A Data file (null: none), what happens (rows that do not start Pirune themselves start it at
// 08:00:20 with its window open), what the user sees at each "look" or "list" and at the end, and
// the Data file afterwards (null: unchanged).
struct Edit {
    QByteArray file;
    QString script;
    QString seen;
    QByteArray after;
};

// A Data file and what happens; then the boxes shown, the message windows open (oldest first), and
// the Data file (empty: unchanged), written `saves` times.
struct Notices {
    QByteArray file;
    QString script;
    QStringList boxes, shown;
    QByteArray after;
    int saves;
};
const QString kAsk = "確認: 未通知のメッセージがあります。\r\n表示しますか？",
              kSplit = "ｴﾗｰ: ｴﾗｰ番号 9  Pirune ( Split ) "
                       "でｴﾗｰが発生しました。\rインデックスが有効範囲にありません。";
} // namespace

// The main window, the editing commands and the notices, each on a Pirune of its own.
class TestGui : public QObject {
    Q_OBJECT
private slots:
    // Each window's controls at a client size (pixels) that grows the window over its minimum by
    // `grown` twips: moved and stretched by their share of the growth.
    void layout_data() {
        QTest::addColumn<bool>("message");
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("grown");
        QTest::newRow("minimum") << false << QSize(609, 327) << QSize(0, 0);
        QTest::newRow("below minimum both ways") << false << QSize(300, 100) << QSize(0, 0);
        QTest::newRow("+600 / +300 twips") << false << QSize(649, 347) << QSize(600, 300);
        QTest::newRow("only width too small") << false << QSize(100, 347) << QSize(0, 300);
        QTest::newRow("only height too small") << false << QSize(649, 10) << QSize(600, 0);
        QTest::newRow("message, minimum") << true << QSize(397, 204) << QSize(0, 0);
        QTest::newRow("message, below minimum") << true << QSize(50, 20) << QSize(0, 0);
        QTest::newRow("message, +1500 / +750") << true << QSize(497, 254) << QSize(1500, 750);
    }
    void layout() {
        QFETCH(bool, message);
        QFETCH(QSize, asked);
        QFETCH(QSize, grown);
        PiruneFixture f;
        F_Pirune &w = f.start("2026/12/24 10:00\tooo\t0\r\n");
        frmMessage m;
        QWidget &window = message ? static_cast<QWidget &>(m) : w;
        window.show();
        window.setMinimumSize(0, 0); // let the window system give a size the rule must correct
        window.resize(asked);
        message ? m.Form_Resize() : w.Form_Resize();
        const int dW = grown.width(), dH = grown.height();
        // Each control's place at the minimum, and by how much dW and dH move and grow it.
        struct Place {
            QWidget *c;
            QRect r;
            double x;
            int y, w, h;
        };
        const QList<Place> controls =
            message ? QList<Place>{{m.txtMessage, {0, 0, 6015, 2415}, 0, 0, 1, 1},
                                   {m.cmdOk, {2490, 2520, 1095, 375}, .5, 1, 0, 0}}
                    : QList<Place>{{w.Label1, {120, 120, 8775, 375}, 0, 0, 1, 0},
                                   {w.lstItiran, {120, 360, 8775, 2010}, 0, 0, 1, 0},
                                   {w.fra1, {120, 2520, 8775, 1815}, 0, 0, 1, 1},
                                   {w.Label2_0, {240, 240, 855, 255}, 0, 0, 0, 0},
                                   {w.DTP_YMD, {1560, 240, 1335, 375}, 0, 0, 0, 0},
                                   {w.txt_SetteiJikoku, {2880, 240, 615, 375}, 0, 0, 0, 0},
                                   {w.Label2_3, {240, 600, 1335, 255}, 0, 0, 0, 0},
                                   {w.txtSetteiMes, {1560, 600, 6015, 615}, 0, 0, 1, 1},
                                   {w.cmd_Add, {120, 1320, 975, 375}, 0, 1, 0, 0},
                                   {w.cmd_Settei, {1200, 1320, 975, 375}, 0, 1, 0, 0},
                                   {w.cmd_Del, {2280, 1320, 975, 375}, 0, 1, 0, 0},
                                   {w.cmd_Clear, {3360, 1320, 975, 375}, 0, 1, 0, 0},
                                   {w.cmdEnd, {8040, 4440, 975, 375}, 1, 1, 0, 0}};
        for (const Place &c : controls) {
            const QRect px = c.c->geometry();
            QCOMPARE(QRect(px.topLeft() * Twips::perPixel, px.size() * Twips::perPixel),
                     QRect(c.r.x() + int(c.x * dW), c.r.y() + c.y * dH, c.r.width() + c.w * dW,
                           c.r.height() + c.h * dH));
        }
        if (message)
            return;
        QCOMPARE(w.size() * Twips::perPixel + QSize(90, 405), QSize(9225, 5310) + grown);
        const QList<QWidget *> tabOrder{w.cmdEnd,    w.txt_SetteiJikoku, w.txtSetteiMes,
                                        w.cmd_Add,   w.cmd_Settei,       w.cmd_Del,
                                        w.cmd_Clear, w.lstItiran,        w.DTP_YMD};
        QList<QWidget *> order;
        for (QWidget *x = w.cmdEnd; order.size() < tabOrder.size(); x = x->nextInFocusChain())
            if (tabOrder.contains(x))
                order << x;
        QCOMPARE(order, tabOrder);
        // The "|" of the header stands over the "|" of the lines: the tallest strokes of their
        // bands.
        const QImage img = w.grab().toImage();
        const auto tallest = [&img](int top) {
            int best = 0, most = -1;
            for (int x = 20, dark = 0; x < 400; ++x, dark = 0) {
                for (int y = top; y < top + 14; ++y)
                    dark += qGray(img.pixel(x, y)) < 100;
                std::tie(best, most) = dark > most ? std::pair(x, dark) : std::pair(best, most);
            }
            return best;
        };
        QVERIFY2(qAbs(tallest(9) - tallest(25)) <= 1,
                 qPrintable(QString("%1 %2").arg(tallest(9)).arg(tallest(25))));
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
        const QWidgetList shown = QApplication::topLevelWidgets();
        QCOMPARE(
            std::count_if(shown.begin(), shown.end(), [](QWidget *t) { return t->isVisible(); }),
            2);
        w.multiMessageBox("open", QString());
        w.mnu_Popup[3]->trigger();
        QCOMPARE(exits, 1);
        QVERIFY(f.boxes.boxes.isEmpty());
        QCOMPARE(f.data(), "2026/12/09 10:00\ta\t0\r\n");
    }

    // Enter, and the keypad's Enter, press the focused button as Space does.
    void enterPressesTheFocusedButton() {
        PiruneFixture f;
        F_Pirune &w = f.start("");
        w.show();
        w.txtSetteiMes->setPlainText("a");
        QTest::keyClick(w.cmd_Add, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(f.data(), "2026/12/07 09:04\ta\t0\r\n");
        QTest::keyClick(w.cmdEnd, Qt::Key_Return);
        QVERIFY(!w.isVisible());
    }

    // SNI hosts activate once per click, two make a double-click; GNOME Shell's host activates
    // once per double-click and opens the menu itself on a single click.
    void trayActivations() {
        TrayControl tray;
        QSignalSpy clicks(&tray, &TrayControl::Click), doubles(&tray, &TrayControl::DblClick);
        for (const bool gnome : {true, false, false, true})
            tray.activated(QSystemTrayIcon::Trigger, gnome);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(doubles.count(), 3);
    }

    // Message windows are independent and read-only. Hidden behind its icon, Pirune outlives them;
    // with no notification area it shows its window after a while, and "閉じる" then minimises it.
    void withoutWindowsAndWithoutTray() {
        PiruneFixture f;
        TrayControl::hostWaitSeconds() = 1;
        const auto restore = qScopeGuard([] { TrayControl::hostWaitSeconds() = 30; });
        F_Pirune &w = f.start("", false);
        w.multiMessageBox("one\r\n" + QString(300, 'x'), QString());
        w.multiMessageBox("two", "題");
        frmMessage *one = PiruneFixture::messageWindows().at(0);
        QCOMPARE(one->txtMessage->document()->blockCount(), 2);
        QCOMPARE(one->txtMessage->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(one->txtMessage->palette().color(QPalette::Base), QColor(208, 208, 208));
        one->txtMessage->setFocus();
        QTest::keyClicks(one->txtMessage, "typed");
        QTest::keyClick(one->txtMessage, Qt::Key_Backspace);
        QCOMPARE(PiruneFixture::messageTexts(),
                 (QStringList{"one\n" + QString(300, 'x'), "題: two"}));
        QTest::mouseClick(one->cmdOk, Qt::LeftButton);
        QCOMPARE(PiruneFixture::messageTexts(), QStringList{"題: two"});
        QTimer::singleShot(0, [] { PiruneFixture::messageWindows().first()->cmdOk->click(); });
        QTimer::singleShot(300, [] { QCoreApplication::exit(7); });
        QCOMPARE(QCoreApplication::exec(), 7); // closing the last open window did not end Pirune
        QVERIFY(PiruneFixture::messageWindows().isEmpty() && w.Timer1->isActive() &&
                f.boxes.boxes.isEmpty());
        if (w.TrayControl1->isDocked())
            QSKIP("a notification area is present");
        QVERIFY(!w.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 5000);
        w.cmdEnd->click();
        QVERIFY(w.isMinimized());
        f.w.reset();
        PiruneFixture
            g; // closed through its frame before the wait is over: no window is left, Pirune ends
        F_Pirune &closed = g.start("", false);
        QTimer::singleShot(3000, &closed, [] { QCoreApplication::exit(1); });
        QVERIFY(closed.close());
        QCOMPARE(QCoreApplication::exec(), 0);
        QTest::qWait(1500); // and the wait does not open it again
        QVERIFY(!closed.isVisible());
    }

    // A real box over the main window blocks only it: the tray icon's own window (as the XEmbed
    // icon has), the tray's menu and the message windows still answer.
    void trayWhileABoxIsOpen() {
        struct Blocked : QObject {
            QSet<QObject *> windows;
            bool eventFilter(QObject *o, QEvent *e) override {
                if (e->type() == QEvent::WindowBlocked)
                    windows << o;
                return false;
            }
        } blocked;
        qApp->installEventFilter(&blocked);
        PiruneFixture f;
        F_Pirune &w = f.start(kLater);
        installWidgetMessageBoxes(&w);
        emit w.TrayControl1->DblClick(0);
        w.setListIndex(0);
        w.multiMessageBox("seen", QString());
        QWidget trayIcon;
        trayIcon.show();
        QTimer::singleShot(100, [&] {
            emit w.TrayControl1->Click(1);
            QTest::mouseClick(w.mnuPopup, Qt::LeftButton, {},
                              w.mnuPopup->actionGeometry(w.mnu_Popup[0]).center());
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
        });
        w.cmd_Del->click();
        QVERIFY(blocked.windows.contains(&w));
        QVERIFY(!blocked.windows.contains(&trayIcon) && !blocked.windows.contains(w.mnuPopup));
        QVERIFY(!blocked.windows.contains(PiruneFixture::messageWindows().at(0)));
        QVERIFY(w.versionWindow() && w.versionWindow()->isVisible());
        QCOMPARE(f.data(), kLater);
    }

    // The date picker is one tab stop, its fields reached with the arrow keys; the frame's
    // caption stands on its top border, above the controls inside.
    void editorFrame() {
        PiruneFixture f;
        F_Pirune &w = f.start(kThree);
        emit w.TrayControl1->DblClick(0);
        w.DTP_YMD->setFocus();
        w.DTP_YMD->setCurrentSection(QDateTimeEdit::YearSection);
        QTest::keyClick(w.DTP_YMD, Qt::Key_Right);
        QCOMPARE(w.DTP_YMD->currentSection(), QDateTimeEdit::MonthSection);
        QTest::keyClick(w.DTP_YMD, Qt::Key_Tab);
        QCOMPARE(w.focusWidget(), w.cmdEnd);
        const QImage frame = w.fra1->grab().toImage();
        const auto dark = [&](int x, int y) { return qGray(frame.pixel(x, y)) < 200; };
        int border = 0, captionTop = -1, captionBottom = 0;
        while (!dark(frame.width() - 10, border))
            ++border;
        for (int y = 0; y < w.DTP_YMD->y(); ++y)
            for (int x = 10; x < 40; ++x)
                if (dark(x, y))
                    std::tie(captionTop, captionBottom) =
                        std::pair(captionTop < 0 ? y : captionTop, y);
        QVERIFY2(captionTop < border && border < captionBottom && border < w.DTP_YMD->y(),
                 qPrintable(QString("%1 %2 %3").arg(captionTop).arg(border).arg(captionBottom)));
    }

    void commands_data() {
        QTest::addColumn<Edit>("e");
        // Start-up shows only the icon; the window, opened from the tray (also while the Split
        // report of the fourth field is open), shows the notices in file order with the state
        // start-up gave.
        QTest::newRow("first start") << Edit{
            {}, "@09:04:30; look; =11:30:00; menu 1; list", "hidden\n\n-1 2026/12/07 09:04 ", ""};
        QTest::newRow("opened during the Split report") << Edit{
            "2026/12/09 10:00\t三番目\t0\r\n2026/12/08 10:00\t二行\\n目\t1"
            "\textra\r\n2026/12/10 10:00\t\t0\r\n",
            "during open; @09:04:30; =11:30:00; open; list",
            "2026/12/09 10:00|三番目\n"
            "2026/12/08 10:00|二行\\n目\n2026/12/10 10:00|\n-1 2026/12/07 09:04  変更 削除 [" +
                kSplit + "]",
            {}};
        const std::pair<const char *, const char *> refused[] = {{":", "__:__"},
                                                                 {"12:3", "12:3_"},
                                                                 {"24:00", "24:00"},
                                                                 {"12:60", "12:60"},
                                                                 {"99:99", "99:99"}};
        for (const auto &[typed, shown] : refused)
            QTest::addRow("time %s refused", typed)
                << Edit{"",
                        QString("ed 2026/12/07 %1 m; add").arg(typed),
                        QString("-1 2026/12/07 %1 m focus:txt_SetteiJikoku [Pirune: "
                                "hh:nnの形式で入力して下さい]")
                            .arg(shown),
                        {}};
        for (const char *time : {"00:00", "23:59"})
            QTest::addRow("time %s", time)
                << Edit{"", QString("ed 2026/12/07 %1 m; add").arg(time),
                        QString("0 2026/12/07 %1 m 変更 削除").arg(time),
                        QString("2026/12/07 %1\tm\t0\r\n").arg(time).toLatin1()};
        QTest::newRow("full-width digits")
            << Edit{"", "ed 2026/12/07 １２:３４ m; add", "0 2026/12/07 12:34 m 変更 削除",
                    "2026/12/07 12:34\tm\t0\r\n"};
        QTest::newRow("add in sorted place, twice")
            << Edit{lines({"2026/12/09 10:00\tlater\t1", "2026/12/08 10:00\tsooner\t0"}),
                    "ed 2026/12/07 08:30 earliest; add; look; add",
                    "0 2026/12/07 08:30 earliest 変更 削除\n1 2026/12/07 08:30 earliest 変更 削除",
                    lines({"2026/12/07 08:30\tearliest\t0", "2026/12/07 08:30\tearliest\t0",
                           "2026/12/08 10:00\tsooner\t0", "2026/12/09 10:00\tlater\t1"})};
        QTest::newRow("line breaks and tabs")
            << Edit{"", "ed 2026/12/07 09:00 a\tb\nc\n; add", "0 2026/12/07 09:00 ab/c/ 変更 削除",
                    "2026/12/07 09:00\tab\\nc\\n\t0\r\n"};
        const QByteArray two =
            lines({"2026/12/09 10:00\t二行\\n目\t0", "2027/1/5 9:05\thand edited\t0"});
        QTest::newRow("click fills the editor")
            << Edit{two,
                    "click 0; look; sel 1",
                    "0 2026/12/09 10:00 二行/目 変更 削除 focus:lstItiran\n1 2027/01/05 09:05 hand "
                    "edited 変更 削除 focus:lstItiran",
                    {}};
        // Every way the user picks a line loads it once, also off a line that cannot be loaded;
        // only picking another line changes the pick.
        const QByteArray four = lines({"2026/12/09 10:00\ta\t0", "bad\tb\t0",
                                       "2026/12/11 10:00\tc\t0", "2026/12/12 10:00\td\t0"});
        const QString a = "0 2026/12/09 10:00 a 変更 削除 focus:lstItiran",
                      c = "2 2026/12/11 10:00 c 変更 削除 focus:lstItiran",
                      d = "3 2026/12/12 10:00 d 変更 削除 focus:lstItiran",
                      edited = "2026/12/07 08:00 edited",
                      bad = " [Pirune: lstItiran_Click Code:-2147467259 / "
                            "Msg:コントロールの呼び出しに失敗しました。 "
                            "(DTP_YMD.Value = \"bad\")]";
        for (const auto &[key, shown] :
             {std::pair{"Space", a}, {"Home", a}, {"End", d}, {"PgDown", d}})
            QTest::addRow("%s on the list", key)
                << Edit{four, QString("ed %1; key %2").arg(edited, key), shown, {}};
        QTest::newRow("PgUp on the list")
            << Edit{four, "sel 3; ed " + edited + "; key PgUp", a, {}};
        QTest::newRow("letter off a bad line")
            << Edit{four, "sel 1; ed " + edited + "; key 2", c + bad, {}};
        QTest::newRow("click off a bad line")
            << Edit{four, "sel 1; ed " + edited + "; click 3", d + bad, {}};
        QTest::newRow("click the selected line")
            << Edit{four, "sel 2; ed " + edited + "; click 2", c, {}};
        QTest::newRow("ctrl-click the selected line")
            << Edit{four, "sel 2; ed " + edited + "; ctrl-click 2", c, {}};
        QTest::newRow("click below the lines") << Edit{four,
                                                       "sel 2; ed " + edited + "; click -1",
                                                       "2 " + edited + " 変更 削除 focus:lstItiran",
                                                       {}};
        QTest::newRow("change: shown again, moved") << Edit{
            lines({"2026/12/07 09:00\ta\t1", "2026/12/08 09:00\tb\t1"}),
            "sel 0; ed 2026/12/10 07:15 a moved; change", "1 2026/12/10 07:15 a moved 変更 削除",
            lines({"2026/12/08 09:00\tb\t1", "2026/12/10 07:15\ta moved\t0"})};
        QTest::newRow("change, nothing selected")
            << Edit{kThree,
                    "ed 2026/12/07 99:99 x; change",
                    "-1 2026/12/07 99:99 x 変更 削除 [Pirune: 変更対象を選択してください]",
                    {}};
        const QString asked = " 変更 削除 [確認: 削除しますか？]";
        QTest::newRow("delete first")
            << Edit{kThree, "sel 0; yes; del", "0 2026/12/08 09:00 b" + asked,
                    lines({"2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t1"})};
        QTest::newRow("delete middle")
            << Edit{kThree, "sel 1; yes; del", "0 2026/12/07 09:00 a" + asked,
                    lines({"2026/12/07 09:00\ta\t0", "2026/12/09 09:00\tc\t1"})};
        QTest::newRow("delete last")
            << Edit{kThree, "sel 2; yes; del", "1 2026/12/08 09:00 b" + asked,
                    lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0"})};
        QTest::newRow("delete declined")
            << Edit{kThree, "sel 0; no; del", "0 2026/12/07 09:00 a" + asked, {}};
        QTest::newRow("delete, nothing selected")
            << Edit{kThree,
                    "yes; del",
                    "-1 2026/12/07 08:00  変更 削除 [Pirune: 削除対象を選択してください]",
                    {}};
        QTest::newRow("delete the only one")
            << Edit{lines({"2026/12/09 09:00\tonly\t0"}), "sel 0; =13:07:00; yes; del",
                    "-1 2026/12/09 13:07  [確認: 削除しますか？]", ""};
        QTest::newRow("clear") << Edit{
            kThree, "sel 1; =18:45:00; clear", "1 2026/12/08 18:45  変更 削除", {}};
        QTest::newRow("unread Data file never overwritten") << Edit{
            {},
            "break; @08:00:20; mend; open; ed 2026/12/07 09:00 x; add",
            "0 2026/12/07 09:00 x 変更 削除 [Pirune: Form_Load Code:75 / Msg:パス/ファイル "
            "アクセス エラーです。 (DIR/Pirune.dat: file to open "
            "is a directory)] [Pirune: SaveDataToFile Code:1002 / "
            "Msg:起動時にデータファイルを最後まで読み込めなかったため、上書きしません。"
            "データファイルを確認してから Pirune を起動し直してください。 (DIR/Pirune.dat)]",
            "<missing>"};
        QTest::newRow("failed save keeps the notice")
            << Edit{"",
                    "break; ed 2026/12/07 09:00 kept; add; look; mend; "
                    "ed 2026/12/07 10:00 next; add",
                    "0 2026/12/07 09:00 kept [Pirune: SaveDataToFile Code:75 / Msg:"
                    "パス/ファイル アクセス エラーです。 (DIR/Pirune.dat: フォルダーです)]\n1 "
                    "2026/12/07 10:00 next 変更 削除",
                    lines({"2026/12/07 09:00\tkept\t0", "2026/12/07 10:00\tnext\t0"})};
        const QString reread =
            " [Pirune: データファイルが Pirune "
            "の外で変更されたため、一覧を読み込み直しました。対象をもう一度選択してください。]";
        QTest::newRow("added after an outside change") << Edit{
            kThree, "outside; ed 2026/12/07 08:30 mine; add", "0 2026/12/07 08:30 mine 変更 削除",
            lines({"2026/12/07 08:30\tmine\t0", "2026/12/07 09:00\ta\t0",
                   "2026/12/07 09:30\t手で追加\t0", "2026/12/08 09:00\tb\t0",
                   "2026/12/09 09:00\tc\t1"})};
        QTest::newRow("deleted after an outside change")
            << Edit{kThree, "sel 0; yes; during outside, wait800; del",
                    "-1 2026/12/07 09:00 a 変更 削除 [確認: 削除しますか？]" + reread,
                    kThree + "2026/12/07 09:30\t手で追加\t0\r\n"};
        QTest::newRow("changed after an outside change")
            << Edit{kThree, "sel 2; outside; change", "-1 2026/12/09 09:00 c 変更 削除" + reread,
                    kThree + "2026/12/07 09:30\t手で追加\t0\r\n"};
        QTest::newRow("終了 with changes a save could not write") << Edit{
            kThree, "break; sel 0; yes; del; ed 2026/12/07 08:30 mine; add; menu 3",
            "0 2026/12/07 08:30 mine 変更 削除 [確認: 削除しますか？] [Pirune: SaveDataToFile "
            "Code:75 / Msg:パス/ファイル アクセス エラーです。 (DIR/Pirune.dat: "
            "フォルダーです)] [Pirune: "
            "次の変更はデータファイルに保存されていないため、失われます。\r\n追加・変更: "
            "2026/12/07 08:30 mine\r\n"
            "追加・変更: 2026/12/08 09:00 b\r\n追加・変更: 2026/12/09 09:00 c (表示済み)]",
            "<missing>"};
        const QString emoji =
            " [Pirune: メッセージの文字「🎉」(U+1F389)はデータファイルに保存できません。"
            "この文字を除くか、別の文字に置き換えてください。]";
        QTest::newRow("character the file cannot hold")
            << Edit{kThree,
                    "ed 2026/12/07 10:00 🎉 x; add; look; sel 0; "
                    "ed 2026/12/07 10:00 🎉; change",
                    "-1 2026/12/07 10:00 🎉 x 変更 削除 focus:txtSetteiMes" + emoji +
                        "\n0 2026/12/07 10:00 🎉 変更 削除 focus:txtSetteiMes" + emoji,
                    {}};
    }
    void commands() {
        QFETCH(Edit, e);
        PiruneFixture f;
        QStringList looks =
            run(f, e.file, (e.script.contains('@') ? "" : "@08:00:20; open; ") + e.script);
        QCOMPARE((looks << f.seen()).join('\n'), e.seen);
        QCOMPARE(f.data(), e.after.isNull() ? e.file : e.after);
    }

    void notices_data() {
        QTest::addColumn<Notices>("n");
        const QByteArray one("2026/12/07 09:05\t会議\\n資料\t0\r\n2026/12/08 09:05\tlater\t0\r\n");
        const QByteArray twoAt905("2026/12/07 09:06\tother\t0\r\n2026/12/07 "
                                  "09:05\tfirst\t0\r\n2026/12/07 09:05\tsecond\t0\r\n");
        const QByteArray three("2026/12/07 09:05\tfirst\t0\r\n2026/12/07 "
                               "09:06\tsecond\t0\r\n2026/12/07 09:07\tthird\t0\r\n");
        const QByteArray missed(
            "2026/12/07 08:00\tthird\t0\r\n2026/12/06 10:00\tfirst\t0\r\n2027/01/01 "
            "00:00\tfuture\t0\r\n"
            "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t0\r\n");
        QTest::newRow(":00, once however many passes")
            << Notices{one,
                       "@09:04:30; 09:05:00; 09:05:00",
                       {},
                       {"会議\n資料"},
                       "2026/12/07 09:05\t会議\\n資料\t1\r\n2026/12/08 09:05\tlater\t0\r\n",
                       1};
        QTest::newRow(":01 to :59 never")
            << Notices{one, "@09:04:30; 09:05:01; 09:05:30; 09:05:59", {}, {}, {}, 0};
        QTest::newRow("begun minute waits")
            << Notices{one, "no; @09:05:30; 09:05:31; 09:05:59; 09:06:00", {kAsk}, {}, {}, 0};
        QTest::newRow("already shown")
            << Notices{"2026/12/07 09:05\tx\t1\r\n", "@09:04:30; 09:05:00", {}, {}, {}, 0};
        QTest::newRow("flag neither 0 nor 1")
            << Notices{"2026/12/07 09:05\tx\t\r\n2026/12/07 09:05\ty\t00\r\n",
                       "@09:04:30; 09:05:00",
                       {},
                       {},
                       {},
                       0};
        QTest::newRow("one minute: table order, one save")
            << Notices{twoAt905,
                       "@09:04:30; 09:05:00; 09:05:00",
                       {},
                       {"first", "second"},
                       "2026/12/07 09:06\tother\t0\r\n2026/12/07 09:05\tfirst\t1\r\n2026/12/07 "
                       "09:05\tsecond\t1\r\n",
                       1};
        QTest::newRow("stored forms")
            << Notices{"2026/12/7 9:5\tshort form\t0\r\nnot a date\tnever\t0\r\n\r\n"
                       "2026/12/07 09:05:00\tseconds\t0\r\n",
                       "@09:04:30; 09:05:00; 09:05:01",
                       {},
                       {"short form"},
                       "2026/12/07 09:05\tshort form\t1\r\nnot a "
                       "date\tnever\t0\r\n\t\t\r\n2026/12/07 09:05\tseconds\t0\r\n",
                       1};
        QTest::newRow("late pass catches up; clock set back")
            << Notices{three,
                       "@09:04:30; 09:04:59; 09:05:02; 09:05:58; 09:06:03; 09:06:30; 09:05:00",
                       {},
                       {"first", "second"},
                       "2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:06\tsecond\t1\r\n2026/12/07 "
                       "09:07\tthird\t0\r\n",
                       2};
        QTest::newRow("empty table") << Notices{"", "@09:04:30; 09:05:00", {}, {}, {}, 0};
        QTest::newRow("missed: future, shown, no date")
            << Notices{"2026/12/07 09:05\ta\t0\r\n2026/12/06 09:05\tb\t1\r\n"
                       "yesterday\tc\t0\r\n\r\n",
                       "@09:04:30",
                       {},
                       {},
                       {},
                       0};
        QTest::newRow("missed: this minute at :00")
            << Notices{"2026/12/07 09:05\tnow\t0\r\n", "@09:05:00", {}, {}, {}, 0};
        QTest::newRow("missed: this minute at :01, No") << Notices{
            "2026/12/07 09:05\tnow\t0\r\n", "no; @09:05:01; 09:05:01", {kAsk}, {}, {}, 0};
        QTest::newRow("missed: three, Yes")
            << Notices{missed,
                       "yes; @09:04:30; 09:04:30",
                       {kAsk},
                       {"third", "first", "second\nline"},
                       "2026/12/07 08:00\tthird\t1\r\n2026/12/06 10:00\tfirst\t1\r\n2027/01/01 "
                       "00:00\tfuture\t0\r\n"
                       "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t1\r\n",
                       1};
        // The Split report comes once the whole table is loaded: a pass while it is open saves
        // every line, none dropped.
        QTest::newRow("pass while the Split report is open")
            << Notices{"2026/12/07 09:05\tdue now\t0\r\n"
                       "2026/12/08 10:00\tfourth\t0\textra\r\n2026/12/09 10:00\tlast\t0\r\n",
                       "during 09:05:00; @09:05:00; 09:05:00",
                       {kSplit},
                       {"due now"},
                       "2026/12/07 09:05\tdue now\t1\r\n2026/12/08 10:00\tfourth\t0\r\n2026/12/09 "
                       "10:00\tlast\t0\r\n",
                       1};
        // A failed save's report stays open into the next notice's minute: no second report stacks
        // on it, the notice whose second passed meanwhile is offered, not lost, and the failed save
        // is tried again at the next minute's first pass.
        QTest::newRow("report open across a minute") << Notices{
            "2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:06\tsecond\t0\r\n",
            "@09:04:30; break; during 09:06:00, 09:06:00, 09:06:00; 09:05:00; mend; 09:06:20; wait",
            {"Pirune: SaveDataToFile Code:75 / Msg:パス/ファイル アクセス エラーです。 "
             "(DIR/Pirune.dat: フォルダーです)",
             kAsk},
            {"first", "second"},
            "2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:06\tsecond\t1\r\n",
            2};
        // Notices added by hand while Pirune runs are read, shown at their minute and kept by the
        // save.
        QTest::newRow("added in place, shown at its minute")
            << Notices{one,          "@09:04:30; append; wait800; 09:30:00",    {},
                       {"手で追加"}, one + "2026/12/07 09:30\t手で追加\t1\r\n", 1};
        QTest::newRow("renamed over just before its minute")
            << Notices{one,
                       "@09:04:30; outside; 09:30:00",
                       {},
                       {"手で追加"},
                       one + "2026/12/07 09:30\t手で追加\t1\r\n",
                       1};
        QTest::newRow("renamed over just before a save")
            << Notices{one,
                       "@09:04:30; outside; 09:05:00",
                       {},
                       {"会議\n資料"},
                       "2026/12/07 09:05\t会議\\n資料\t1\r\n2026/12/08 "
                       "09:05\tlater\t0\r\n2026/12/07 09:30\t手で追加\t0\r\n",
                       1};
        QTest::newRow("changed while a box is open, then a save")
            << Notices{"2026/12/07 08:00\tmissed\t0\r\n2026/12/07 09:05\tdue\t0\r\n",
                       "no; during outside, 09:05:00; @09:04:30",
                       {kAsk},
                       {"due"},
                       "2026/12/07 08:00\tmissed\t0\r\n2026/12/07 09:05\tdue\t1\r\n"
                       "2026/12/07 09:30\t手で追加\t0\r\n",
                       1};
        QTest::newRow("added past due: offered at once")
            << Notices{one, "no; @09:35:30; no; outside; wait800",     {kAsk, kAsk},
                       {},  one + "2026/12/07 09:30\t手で追加\t0\r\n", 0};
        // Declined at start-up, not offered again after a clock jump; what fell due during it is.
        QTest::newRow("declined, then a clock jump")
            << Notices{"2026/12/07 08:00\tdeclined\t0\r\n2026/12/07 09:10\tduring the jump\t0\r\n",
                       "no; yes; @09:04:58; 09:04:59; 09:20:00; wait",
                       {kAsk, kAsk},
                       {"during the jump"},
                       "2026/12/07 08:00\tdeclined\t0\r\n2026/12/07 09:10\tduring the jump\t1\r\n",
                       1};
        // The machine slept over a notice's minute and the clock jumps twice before Pirune can ask,
        // and again while it asks: one question.
        QTest::newRow("clock jumps ask once")
            << Notices{"2026/12/07 09:05\tslept through\t0\r\n",
                       "no; @09:04:58; during 09:40:00; 09:04:59; 09:20:00; 09:21:00; wait",
                       {kAsk},
                       {},
                       {},
                       0};
        // The clock is set while Pirune sleeps until the next minute.
        const QByteArray doneAndNot("2026/12/07 09:05\tdone\t1\r\n2026/12/07 09:05\tx\t0\r\n");
        QTest::newRow("set forward across the minute: offered") << Notices{
            doneAndNot, "no; @09:04:30; live; ~09:20:00; =09:20:01; wait", {kAsk}, {}, {}, 0};
        QTest::newRow("set back before the minute: it comes again") << Notices{
            doneAndNot, "no; @09:05:30; live; ~09:04:59; =09:05:00; wait1100",     {kAsk},
            {"x"},      "2026/12/07 09:05\tdone\t1\r\n2026/12/07 09:05\tx\t1\r\n", 1};
    }
    void notices() {
        QFETCH(Notices, n);
        PiruneFixture f;
        run(f, n.file, n.script);
        QCOMPARE(f.boxes.texts().replaceInStrings(f.dir.path(), "DIR"), n.boxes);
        for (const auto &b : f.boxes.boxes)
            QVERIFY(b.title != "確認" || (b.buttons == MessageSeam::Buttons::YesNo &&
                                          b.defaultAnswer == MessageSeam::Answer::Yes));
        QCOMPARE(PiruneFixture::messageTexts(), n.shown);
        QCOMPARE(f.data(), n.after.isEmpty() ? n.file : n.after);
        QCOMPARE(f.w->savesDone(), n.saves);
        QVERIFY(!f.w->isVisible());
    }
};

QTEST_MAIN(TestGui)
#include "test_gui.moc"

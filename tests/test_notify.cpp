#include "PiruneFixture.h"
#include "app/Twips.h"

#include <QtTest>

namespace {
QDateTime at(const QString &hhmmss) { return {QDate(2026, 12, 7), QTime::fromString(hhmmss, "hh:mm:ss")}; }

// Pirune starts at `start` on `file` (answering the missed-notice question, if it asks one,
// with `answer`), then its timer passes at `ticks`: the message windows opened, oldest first, and
// the Data file afterwards (empty: unchanged), written `saves` times.
struct Notices { QByteArray file; QString start; int answer; QString ticks; QStringList shown; QByteArray after; int saves; };
constexpr int kNoQuestion = -1, kYes = int(MessageSeam::Answer::Yes), kNo = int(MessageSeam::Answer::No);
} // namespace

class TestNotify : public QObject {
    Q_OBJECT
private slots:
    void notices_data() {
        QTest::addColumn<Notices>("n");
        const QByteArray one("2026/12/07 09:05\t会議\\n資料\t0\r\n2026/12/08 09:05\tlater\t0\r\n");
        const QByteArray twoAt905("2026/12/07 09:06\tother\t0\r\n2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:05\tsecond\t0\r\n");
        const QByteArray three("2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:06\tsecond\t0\r\n2026/12/07 09:07\tthird\t0\r\n");
        const QByteArray missed("2026/12/07 08:00\tthird\t0\r\n2026/12/06 10:00\tfirst\t0\r\n2027/01/01 00:00\tfuture\t0\r\n"
                                "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t0\r\n");
        QTest::newRow(":00, once however many passes") << Notices{one, "09:04:30", kNoQuestion, "09:05:00 09:05:00",
            {"会議\n資料"}, "2026/12/07 09:05\t会議\\n資料\t1\r\n2026/12/08 09:05\tlater\t0\r\n", 1};
        QTest::newRow(":01 to :59 never") << Notices{one, "09:04:30", kNoQuestion, "09:05:01 09:05:30 09:05:59", {}, {}, 0};
        QTest::newRow("begun minute waits") << Notices{one, "09:05:30", kNo, "09:05:31 09:05:59 09:06:00", {}, {}, 0};
        QTest::newRow("already shown") << Notices{"2026/12/07 09:05\tx\t1\r\n", "09:04:30", kNoQuestion, "09:05:00", {}, {}, 0};
        QTest::newRow("flag neither 0 nor 1") << Notices{"2026/12/07 09:05\tx\t\r\n2026/12/07 09:05\ty\t00\r\n", "09:04:30",
            kNoQuestion, "09:05:00", {}, {}, 0};
        QTest::newRow("one minute: table order, one save") << Notices{twoAt905, "09:04:30", kNoQuestion, "09:05:00 09:05:00",
            {"first", "second"}, "2026/12/07 09:06\tother\t0\r\n2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:05\tsecond\t1\r\n", 1};
        QTest::newRow("stored forms") << Notices{"2026/12/7 9:5\tshort form\t0\r\nnot a date\tnever\t0\r\n\r\n"
            "2026/12/07 09:05:00\tseconds\t0\r\n", "09:04:30", kNoQuestion, "09:05:00 09:05:01", {"short form"},
            "2026/12/07 09:05\tshort form\t1\r\nnot a date\tnever\t0\r\n\t\t\r\n2026/12/07 09:05\tseconds\t0\r\n", 1};
        QTest::newRow("late pass catches up; clock set back") << Notices{three, "09:04:30", kNoQuestion,
            "09:04:59 09:05:02 09:05:58 09:06:03 09:06:30 09:05:00", {"first", "second"},
            "2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:06\tsecond\t1\r\n2026/12/07 09:07\tthird\t0\r\n", 2};
        QTest::newRow("empty table") << Notices{"", "09:04:30", kNoQuestion, "09:05:00", {}, {}, 0};
        QTest::newRow("missed: future, shown, no date") << Notices{"2026/12/07 09:05\ta\t0\r\n2026/12/06 09:05\tb\t1\r\n"
            "yesterday\tc\t0\r\n\r\n", "09:04:30", kNoQuestion, "", {}, {}, 0};
        QTest::newRow("missed: this minute at :00") << Notices{"2026/12/07 09:05\tnow\t0\r\n", "09:05:00", kNoQuestion, "",
            {}, {}, 0};
        QTest::newRow("missed: this minute at :01, No") << Notices{"2026/12/07 09:05\tnow\t0\r\n", "09:05:01", kNo, "09:05:01",
            {}, {}, 0};
        QTest::newRow("missed: three, Yes") << Notices{missed, "09:04:30", kYes, "09:04:30", {"third", "first", "second\nline"},
            "2026/12/07 08:00\tthird\t1\r\n2026/12/06 10:00\tfirst\t1\r\n2027/01/01 00:00\tfuture\t0\r\n"
            "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t1\r\n", 1};
    }
    void notices() {
        QFETCH(Notices, n);
        PiruneFixture f(at(n.start));
        if (n.answer != kNoQuestion)
            f.boxes.answers << MessageSeam::Answer(n.answer);
        F_Pirune &w = f.start(n.file, false);
        w.Timer1->stop();
        for (const QString &tick : n.ticks.split(' ', Qt::SkipEmptyParts)) {
            Clock::setFixed(at(tick));
            w.Timer1_Timer();
        }
        QCOMPARE(f.boxes.texts(), n.answer == kNoQuestion ? QStringList()
                                  : QStringList{"確認: 未通知のメッセージがあります。\r\n表示しますか？"});
        for (const auto &b : f.boxes.boxes)
            QVERIFY(b.buttons == MessageSeam::Buttons::YesNo && b.defaultAnswer == MessageSeam::Answer::Yes);
        QCOMPARE(PiruneFixture::messageTexts(), n.shown);
        QCOMPARE(f.data(), n.after.isEmpty() ? n.file : n.after);
        QCOMPARE(w.savesDone(), n.saves);
        QVERIFY(!w.isVisible());
    }

    // The Split report is open while loading: the timer ticks meanwhile, but no pass runs on the
    // half-loaded table (its save would drop the lines not read yet).
    void noPassBeforeTableIsLoaded() {
        PiruneFixture f(at("09:05:00"));
        const QByteArray file("2026/12/07 09:05\tdue now\t0\r\n2026/12/08 10:00\tfourth\t0\textra\r\n2026/12/09 10:00\tlast\t0\r\n");
        int windowsDuringLoad = -1;
        f.boxes.during = [&](const MessageSeam::Box &) {
            f.w->Timer1_Timer();
            windowsDuringLoad = int(PiruneFixture::messageWindows().size());
        };
        f.start(file, false).Timer1->stop();
        QCOMPARE(windowsDuringLoad, 0);
        QCOMPARE(f.data(), file);
        f.w->Timer1_Timer();
        QCOMPARE(PiruneFixture::messageTexts(), QStringList{"due now"});
        QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tdue now\t1\r\n2026/12/08 10:00\tfourth\t0\r\n2026/12/09 10:00\tlast\t0\r\n"));
    }

    // The user leaves a failed save's report open into the next notice's minute: no second report
    // stacks on it, and the notice whose second passed meanwhile is offered, not lost.
    void reportOpenAcrossAMinute() {
        PiruneFixture f(at("09:04:30"));
        F_Pirune &w = f.start("2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:06\tsecond\t0\r\n", false);
        w.Timer1->stop();
        QFile::remove(f.path);
        QDir(f.dir.path()).mkdir("Pirune.dat");
        f.boxes.during = [&](const MessageSeam::Box &b) {
            if (b.title == "確認")
                return;
            Clock::setFixed(at("09:06:00"));
            for (int k = 0; k < 5; ++k)
                w.Timer1_Timer();
        };
        Clock::setFixed(at("09:05:00"));
        w.Timer1_Timer();
        QCOMPARE(f.boxes.texts().size(), 1);
        QVERIFY(f.boxes.texts().first().startsWith("Pirune: SaveDataToFile Code:75 / Msg:"));
        QDir(f.dir.path()).rmdir("Pirune.dat");
        Clock::setFixed(at("09:06:20"));
        w.Timer1_Timer();
        QTRY_COMPARE(PiruneFixture::messageTexts(), (QStringList{"first", "second"}));
        QCOMPARE(f.boxes.texts().last(), "確認: 未通知のメッセージがあります。\r\n表示しますか？");
        QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:06\tsecond\t1\r\n"));
    }

    // The machine slept over a notice's minute: the question comes after the pass, once, even if
    // the clock jumps again while it is open.
    void clockJumpAsksOnce() {
        PiruneFixture f(at("09:04:58"));
        F_Pirune &w = f.start("2026/12/07 09:05\tslept through\t0\r\n", false);
        w.Timer1->stop();
        w.Timer1_Timer();
        f.boxes.during = [&](const MessageSeam::Box &) {
            Clock::setFixed(at("09:40:00"));
            w.Timer1_Timer();
            QCoreApplication::processEvents();
        };
        Clock::setFixed(at("09:20:00"));
        w.Timer1_Timer();
        QVERIFY(f.boxes.boxes.isEmpty());
        QTRY_COMPARE(PiruneFixture::messageTexts(), QStringList{"slept through"});
        QCoreApplication::processEvents();
        QCOMPARE(f.boxes.texts(), QStringList{"確認: 未通知のメッセージがあります。\r\n表示しますか？"});
        QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tslept through\t1\r\n"));
    }

    // The clock is set to each time in turn, with the system's notice of it, while Pirune sleeps
    // until the next minute; then it runs on a second. One question each, at start-up or after
    // the jump, answered No.
    void clockSetWhileAsleep_data() {
        QTest::addColumn<QStringList>("clocks");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("forward across the minute: offered") << QStringList{"09:04:30", "09:20:00"} << QStringList();
        QTest::newRow("back before the minute: it comes again") << QStringList{"09:05:30", "09:04:59"} << QStringList{"x"};
    }
    void clockSetWhileAsleep() {
        QFETCH(QStringList, clocks);
        QFETCH(QStringList, shown);
        PiruneFixture f(at(clocks.first()));
        f.boxes.answers << MessageSeam::Answer::No;
        F_Pirune &w = f.start("2026/12/07 09:05\tdone\t1\r\n2026/12/07 09:05\tx\t0\r\n");
        QTRY_VERIFY(w.Timer1->interval() > 100); // asleep until the next minute
        for (const QString &t : clocks) {
            Clock::setFixed(at(t));
            Clock::notifyChanged();
        }
        Clock::setFixed(at(clocks.last()).addSecs(1));
        QTRY_COMPARE(PiruneFixture::messageTexts(), shown);
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
    }

    void messageWindowLayout_data() {
        QTest::addColumn<QSize>("asked"); // client size in pixels
        QTest::addColumn<QRect>("text");  // twips
        QTest::addColumn<QPoint>("button");
        QTest::newRow("minimum") << QSize(397, 204) << QRect(0, 0, 6015, 2415) << QPoint(2490, 2520);
        QTest::newRow("below minimum") << QSize(50, 20) << QRect(0, 0, 6015, 2415) << QPoint(2490, 2520);
        QTest::newRow("+1500 / +750") << QSize(497, 254) << QRect(0, 0, 7515, 3165) << QPoint(3240, 3270);
    }
    void messageWindowLayout() {
        QFETCH(QSize, asked);
        QFETCH(QRect, text);
        QFETCH(QPoint, button);
        frmMessage m;
        m.show();
        m.setMinimumSize(0, 0); // let the window system give a size the rule must correct
        m.resize(asked);
        m.Form_Resize();
        const QRect r = m.txtMessage->geometry();
        QCOMPARE(QRect(Twips::tw(r.x()), Twips::tw(r.y()), Twips::tw(r.width()), Twips::tw(r.height())), text);
        QCOMPARE(m.cmdOk->pos() * Twips::perPixel, button);
        QCOMPARE(m.cmdOk->size(), QSize(73, 25));
    }

    void messageWindowsAreIndependentAndReadOnly() {
        PiruneFixture f;
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
        QCOMPARE(PiruneFixture::messageTexts(), (QStringList{"one\n" + QString(300, 'x'), "題: two"}));
        QTest::mouseClick(one->cmdOk, Qt::LeftButton);
        QCOMPARE(PiruneFixture::messageTexts(), QStringList{"題: two"});
        QVERIFY(f.boxes.boxes.isEmpty());
    }
};

QTEST_MAIN(TestNotify)
#include "test_notify.moc"

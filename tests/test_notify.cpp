#include "PiruneFixture.h"
#include "app/Twips.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
QDateTime at(int h, int m, int s, int day = 7) {
    return {QDate(2026, 12, day), QTime(h, m, s)};
}

QByteArray cp932(const char *utf8) {
    return PiruneFixture::cp932(QString::fromUtf8(utf8));
}

// Answers boxes through `react` for the lifetime of the object, then gives them back to the
// recorder.
struct BoxReaction {
    MessageSeam::Handler previous;
    explicit BoxReaction(std::function<MessageSeam::Answer(const MessageSeam::Box &)> react) {
        previous = MessageSeam::setHandler([this, react](const MessageSeam::Box &b) {
            previous(b); // still recorded
            return react(b);
        });
    }
    ~BoxReaction() { MessageSeam::setHandler(std::move(previous)); }
};
} // namespace

class TestNotify : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { PiruneFixture::closeMessageWindows(); }

    void timerPasses_data();
    void timerPasses();
    void noticeAddedForBegunMinuteWaits();
    void missedCheck_data();
    void missedCheck();

    void ticksWaitUntilTableIsLoaded();
    void failingPassDoesNotStackBoxes();
    void clockJumpOffersMissedNoticesOnce();
    void clockSetWhileAsleep_data();
    void clockSetWhileAsleep();

    void messageWindowLayout_data();
    void messageWindowLayout();
    void messageWindowIsReadOnlyAndIndependent();
};

// Pirune starts at 09:04:30 on the file, then the timer ticks at the given times.
void TestNotify::timerPasses_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<QDateTime>>("ticks");
    QTest::addColumn<QStringList>("shown");    // message windows, oldest first
    QTest::addColumn<QByteArray>("fileAfter"); // empty: unchanged
    QTest::addColumn<int>("saves");
    const QByteArray one =
        cp932("2026/12/07 09:05\t会議\\n資料\t0\r\n2026/12/08 09:05\tlater\t0\r\n");
    const QList<QDateTime> secondZeroTwice{at(9, 5, 0), at(9, 5, 0)};
    QTest::newRow(":00, once however many ticks")
        << one << secondZeroTwice << QStringList{QStringLiteral("会議\n資料")}
        << cp932("2026/12/07 09:05\t会議\\n資料\t1\r\n2026/12/08 09:05\tlater\t0\r\n") << 1;
    QTest::newRow(":01 to :59 never")
        << one << QList<QDateTime>{at(9, 5, 1), at(9, 5, 30), at(9, 5, 59)} << QStringList()
        << QByteArray() << 0;
    QTest::newRow("already shown") << cp932("2026/12/07 09:05\tx\t1\r\n") << secondZeroTwice
                                   << QStringList() << QByteArray() << 0;
    QTest::newRow("flag neither 0 nor 1") << cp932("2026/12/07 09:05\tx\t\r\n") << secondZeroTwice
                                          << QStringList() << QByteArray() << 0;
    QTest::newRow("one minute: table order, one save")
        << QByteArray("2026/12/07 09:06\tother\t0\r\n2026/12/07 09:05\tfirst\t0\r\n2026/12/07 "
                      "09:05\tsecond\t0\r\n")
        << secondZeroTwice << QStringList{"first", "second"}
        << QByteArray("2026/12/07 09:06\tother\t0\r\n2026/12/07 09:05\tfirst\t1\r\n2026/12/07 "
                      "09:05\tsecond\t1\r\n")
        << 1;
    QTest::newRow("stored forms")
        << QByteArray("2026/12/7 9:5\tshort form\t0\r\nnot a date\tnever\t0\r\n\r\n2026/12/07 "
                      "09:05:00\tseconds\t0\r\n")
        << QList<QDateTime>{at(9, 5, 0), at(9, 5, 1), at(9, 5, 59)} << QStringList{"short form"}
        << QByteArray("2026/12/07 09:05\tshort form\t1\r\nnot a "
                      "date\tnever\t0\r\n\t\t\r\n2026/12/07 09:05\tseconds\t0\r\n")
        << 1;
    QTest::newRow("late pass catches up; clock set back shows nothing twice")
        << QByteArray("2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:06\tsecond\t0\r\n2026/12/07 "
                      "09:07\tthird\t0\r\n")
        << QList<QDateTime>{at(9, 4, 59), at(9, 5, 2),  at(9, 5, 58),
                            at(9, 6, 3),  at(9, 6, 30), at(9, 5, 0)}
        << QStringList{"first", "second"}
        << QByteArray("2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:06\tsecond\t1\r\n2026/12/07 "
                      "09:07\tthird\t0\r\n")
        << 2;
    QTest::newRow("empty table") << QByteArray() << secondZeroTwice << QStringList() << QByteArray()
                                 << 0;
}

void TestNotify::timerPasses() {
    QFETCH(QByteArray, file);
    QFETCH(QList<QDateTime>, ticks);
    QFETCH(QStringList, shown);
    QFETCH(QByteArray, fileAfter);
    QFETCH(int, saves);
    PiruneFixture f(at(9, 4, 30));
    f.writeData(file);
    F_Pirune &w = f.start();
    w.Timer1->stop();
    for (const QDateTime &t : ticks) {
        Clock::setFixed(t);
        w.Timer1_Timer();
    }
    QCOMPARE(PiruneFixture::messageTexts(), shown);
    for (frmMessage *m : PiruneFixture::messageWindows())
        QCOMPARE(m->windowTitle(), QStringLiteral("メッセージ"));
    QCOMPARE(f.data(), fileAfter.isEmpty() ? file : fileAfter);
    QCOMPARE(w.savesDone(), saves);
    QVERIFY(f.boxes.boxes.isEmpty());
}

void TestNotify::noticeAddedForBegunMinuteWaits() {
    PiruneFixture f(at(9, 5, 30));
    F_Pirune &w = f.start();
    w.Timer1->stop();
    f.editor(QDate(2026, 12, 7), QStringLiteral("09:05"), QStringLiteral("late"));
    w.cmd_Add_Click();
    for (const QDateTime &t : {at(9, 5, 31), at(9, 5, 59), at(9, 6, 0)}) {
        Clock::setFixed(t);
        w.Timer1_Timer();
    }
    QVERIFY(PiruneFixture::messageWindows().isEmpty());
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tlate\t0\r\n"));
}

// Start-up's offer of notices missed while Pirune was not running.
void TestNotify::missedCheck_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<int>("answer"); // -1: no question may be asked
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QByteArray>("fileAfter"); // empty: unchanged
    const QDateTime now = at(9, 4, 30);
    QTest::newRow("empty") << QByteArray() << now << -1 << QStringList() << QByteArray();
    QTest::newRow("future only") << QByteArray(
                                        "2026/12/07 09:05\ta\t0\r\n2027/01/01 00:00\tb\t0\r\n")
                                 << now << -1 << QStringList() << QByteArray();
    QTest::newRow("past all shown")
        << QByteArray("2026/12/06 09:05\ta\t1\r\n2025/01/01 00:00\tb\t1\r\n") << now << -1
        << QStringList() << QByteArray();
    QTest::newRow("no date-times")
        << QByteArray("yesterday\ta\t0\r\n\r\n") << now << -1 << QStringList() << QByteArray();
    QTest::newRow("current minute at :00") << QByteArray("2026/12/07 09:05\tnow\t0\r\n")
                                           << at(9, 5, 0) << -1 << QStringList() << QByteArray();
    QTest::newRow("current minute at :01, No")
        << QByteArray("2026/12/07 09:05\tnow\t0\r\n") << at(9, 5, 1) << int(MessageSeam::Answer::No)
        << QStringList() << QByteArray();
    QTest::newRow("three missed, Yes")
        << QByteArray("2026/12/07 08:00\tthird\t0\r\n2026/12/06 10:00\tfirst\t0\r\n2027/01/01 "
                      "00:00\tfuture\t0\r\n"
                      "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t0\r\n")
        << now << int(MessageSeam::Answer::Yes) << QStringList{"third", "first", "second\nline"}
        << QByteArray("2026/12/07 08:00\tthird\t1\r\n2026/12/06 10:00\tfirst\t1\r\n2027/01/01 "
                      "00:00\tfuture\t0\r\n"
                      "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t1\r\n");
}

void TestNotify::missedCheck() {
    QFETCH(QByteArray, file);
    QFETCH(QDateTime, now);
    QFETCH(int, answer);
    QFETCH(QStringList, shown);
    QFETCH(QByteArray, fileAfter);
    PiruneFixture f(now);
    f.writeData(file);
    if (answer >= 0)
        f.boxes.answers << MessageSeam::Answer(answer);
    F_Pirune &w = f.start();
    if (answer < 0) {
        QVERIFY(f.boxes.boxes.isEmpty());
    } else {
        QCOMPARE(f.boxes.boxes.size(), 1);
        const MessageSeam::Box &q = f.boxes.boxes.first();
        QCOMPARE(q.text, QStringLiteral("未通知のメッセージがあります。\r\n表示しますか？"));
        QCOMPARE(q.title, QStringLiteral("確認"));
        QCOMPARE(q.buttons, MessageSeam::Buttons::YesNo);
        QCOMPARE(q.defaultAnswer, MessageSeam::Answer::Yes);
        QCOMPARE(q.icon, MessageSeam::Icon::None);
    }
    QCOMPARE(PiruneFixture::messageTexts(), shown);
    QCOMPARE(f.data(), fileAfter.isEmpty() ? file : fileAfter);
    QCOMPARE(w.savesDone(), fileAfter.isEmpty() ? 0 : 1);
    QVERIFY(!w.isVisible());
}

void TestNotify::ticksWaitUntilTableIsLoaded() {
    PiruneFixture f(at(9, 5, 0));
    const QByteArray file(
        "2026/12/07 09:05\tdue now\t0\r\n2026/12/08 10:00\tfourth\t0\textra field\r\n"
        "2026/12/09 10:00\tlast line\t0\r\n");
    f.writeData(file);
    int windowsDuringLoad = -1;
    {
        BoxReaction tickDuringBox([&](const MessageSeam::Box &) {
            // The Split report is open while loading: the timer keeps ticking meanwhile.
            f.w->Timer1_Timer();
            windowsDuringLoad = int(PiruneFixture::messageWindows().size());
            return MessageSeam::Answer::Ok;
        });
        f.start();
    }
    QCOMPARE(windowsDuringLoad, 0);
    QCOMPARE(f.data(), file); // a save of the half-loaded table would have dropped the later lines
    QCOMPARE(f.listLines().size(), 3);
    f.w->Timer1_Timer();
    QCOMPARE(PiruneFixture::messageTexts(), QStringList{"due now"});
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tdue now\t1\r\n2026/12/08 10:00\tfourth\t0\r\n"
                                  "2026/12/09 10:00\tlast line\t0\r\n"));
}

void TestNotify::failingPassDoesNotStackBoxes() {
    PiruneFixture f(at(9, 4, 30));
    f.writeData("2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:06\tsecond\t0\r\n");
    F_Pirune &w = f.start();
    w.Timer1->stop();
    QVERIFY(QFile::remove(f.path()));
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("Pirune.dat"))); // every save now fails
    Clock::setFixed(at(9, 5, 0));
    {
        BoxReaction ticks([&](const MessageSeam::Box &b) {
            if (b.title == QLatin1String("確認"))
                return MessageSeam::Answer::Yes;
            // The user leaves the failure report open into the next notice's minute.
            Clock::setFixed(at(9, 6, 0));
            for (int k = 0; k < 5; ++k)
                w.Timer1_Timer();
            return MessageSeam::Answer::Ok;
        });
        w.Timer1_Timer();
        QCOMPARE(f.boxes.boxes.size(), 1);
        QVERIFY(f.boxes.texts().first().startsWith(QStringLiteral("SaveDataToFile Code:")));
        QCOMPARE(PiruneFixture::messageTexts(), QStringList{"first"});

        // The notice whose second passed while the box was open is offered, not lost.
        QVERIFY(QDir(f.dir.path()).rmdir(QStringLiteral("Pirune.dat")));
        Clock::setFixed(at(9, 6, 20));
        w.Timer1_Timer();
        QTRY_COMPARE(PiruneFixture::messageTexts(), (QStringList{"first", "second"}));
    }
    QCOMPARE(f.boxes.boxes.last().title, QStringLiteral("確認"));
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:06\tsecond\t1\r\n"));
}

void TestNotify::clockJumpOffersMissedNoticesOnce() {
    PiruneFixture f(at(9, 4, 58));
    f.writeData("2026/12/07 09:05\tslept through\t0\r\n");
    F_Pirune &w = f.start();
    w.Timer1->stop();
    w.Timer1_Timer();
    Clock::setFixed(at(9, 20, 0)); // the machine slept over 09:05:00
    int questionsWhileOpen = 0;
    {
        BoxReaction answer([&](const MessageSeam::Box &) {
            Clock::setFixed(at(9, 40, 0));
            w.Timer1_Timer(); // another jump while the question is open
            QCoreApplication::processEvents();
            questionsWhileOpen = int(f.boxes.boxes.size());
            return MessageSeam::Answer::Yes;
        });
        w.Timer1_Timer();
        QVERIFY(f.boxes.boxes.isEmpty()); // asked outside the tick, so the timer keeps running
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
    }
    QCOMPARE(questionsWhileOpen, 1);
    QCOMPARE(f.boxes.boxes.first().title, QStringLiteral("確認"));
    QCOMPARE(PiruneFixture::messageTexts(), QStringList{"slept through"});
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tslept through\t1\r\n"));
    QCoreApplication::processEvents();
    QCOMPARE(f.boxes.boxes.size(), 1);
}

// The clock is set to each time in turn, with the system's notice of it; then it runs on a second.
// Each case asks one question, at start-up or after the jump, answered No.
void TestNotify::clockSetWhileAsleep_data() {
    QTest::addColumn<QList<QDateTime>>("clocks");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("forward across the minute: offered")
        << QList<QDateTime>{at(9, 4, 30), at(9, 20, 0)} << QStringList();
    QTest::newRow("back before the minute: it comes again")
        << QList<QDateTime>{at(9, 5, 30), at(9, 4, 59)} << QStringList{"x"};
}

void TestNotify::clockSetWhileAsleep() {
    QFETCH(QList<QDateTime>, clocks);
    QFETCH(QStringList, shown);
    PiruneFixture f(clocks.first());
    f.writeData("2026/12/07 09:05\tdone\t1\r\n2026/12/07 09:05\tx\t0\r\n");
    f.boxes.answers << MessageSeam::Answer::No;
    F_Pirune &w = f.start();
    QTRY_VERIFY(w.Timer1->interval() > 100); // asleep until the next minute
    for (const QDateTime &t : clocks) {
        Clock::setFixed(t);
        Clock::notifyChanged();
    }
    Clock::setFixed(clocks.last().addSecs(1));
    QTRY_COMPARE(PiruneFixture::messageTexts(), shown);
    QTRY_COMPARE(f.boxes.boxes.size(), 1);
}

void TestNotify::messageWindowLayout_data() {
    QTest::addColumn<QSize>("asked"); // client size in pixels
    QTest::addColumn<QRect>("text");  // twips
    QTest::addColumn<QPoint>("button");
    QTest::newRow("minimum") << QSize(397, 204) << QRect(0, 0, 6015, 2415) << QPoint(2490, 2520);
    QTest::newRow("below minimum")
        << QSize(50, 20) << QRect(0, 0, 6015, 2415) << QPoint(2490, 2520);
    QTest::newRow("+1500 / +750") << QSize(497, 254) << QRect(0, 0, 7515, 3165)
                                  << QPoint(3240, 3270);
}

void TestNotify::messageWindowLayout() {
    QFETCH(QSize, asked);
    QFETCH(QRect, text);
    QFETCH(QPoint, button);
    auto *m = new frmMessage();
    m->show();
    m->setMinimumSize(0, 0);
    m->resize(asked);
    m->Form_Resize();
    const auto tw = [](int px) { return Twips::tw(px); };
    QCOMPARE(QRect(tw(m->txtMessage->x()), tw(m->txtMessage->y()), tw(m->txtMessage->width()),
                   tw(m->txtMessage->height())),
             text);
    QCOMPARE(QPoint(tw(m->cmdOk->x()), tw(m->cmdOk->y())), button);
    QCOMPARE(m->cmdOk->size(), QSize(73, 25));
    m->close();
}

void TestNotify::messageWindowIsReadOnlyAndIndependent() {
    PiruneFixture f;
    F_Pirune &w = f.start();
    w.multiMessageBox(QStringLiteral("one\r\n") + QString(300, QLatin1Char('x')), QString());
    w.multiMessageBox(QStringLiteral("two"), QStringLiteral("題"));
    const auto windows = PiruneFixture::messageWindows();
    QCOMPARE(windows.size(), 2);
    frmMessage *one = windows.at(0);
    QCOMPARE(one->txtMessage->document()->blockCount(), 2);
    QCOMPARE(one->txtMessage->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(one->txtMessage->palette().color(QPalette::Base), QColor(208, 208, 208));
    QCOMPARE(windows.at(1)->windowTitle(), QStringLiteral("題"));
    QCOMPARE(QApplication::focusWidget() == one->cmdOk || one->cmdOk->hasFocus() ||
                 !one->isActiveWindow(),
             true);
    const QString before = one->txtMessage->toPlainText();
    one->txtMessage->setFocus();
    QTest::keyClicks(one->txtMessage, QStringLiteral("typed"));
    QTest::keyClick(one->txtMessage, Qt::Key_Backspace);
    QCOMPARE(one->txtMessage->toPlainText(), before);
    QTest::mouseClick(one->cmdOk, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(PiruneFixture::messageTexts(), QStringList{"two"});
}

QTEST_MAIN(TestNotify)
#include "test_notify.moc"

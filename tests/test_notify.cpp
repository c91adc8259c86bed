#include "PiruneFixture.h"
#include "app/Twips.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
QDateTime at(int h, int m, int s, int day = 7) { return {QDate(2026, 12, day), QTime(h, m, s)}; }

// Answers boxes through `react` for the lifetime of the object, then gives them back to the recorder.
struct BoxReaction
{
    MessageSeam::Handler previous;
    explicit BoxReaction(std::function<MessageSeam::Answer(const MessageSeam::Box &)> react)
    {
        previous = MessageSeam::setHandler([this, react](const MessageSeam::Box &b) {
            previous(b); // still recorded
            return react(b);
        });
    }
    ~BoxReaction() { MessageSeam::setHandler(std::move(previous)); }
};
} // namespace

class TestNotify : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { PiruneFixture::closeMessageWindows(); }

    void dueOnlyDuringSecondZero_data();
    void dueOnlyDuringSecondZero();
    void sameMinuteOpensWindowsInTableOrderAndSavesOnce();
    void storedFormsOfDateTime();
    void emptyTableWritesNothing();
    void latePassStillShowsWhatFellDue();
    void noticeAddedForBegunMinuteWaits();

    void missedCheckAsksNothing_data();
    void missedCheckAsksNothing();
    void missedCheckYesShowsAllInOrder();
    void missedCheckNoChangesNothing();
    void currentMinuteSecondZeroIsNotMissed();

    void ticksWaitUntilTableIsLoaded();
    void failingPassDoesNotStackBoxes();
    void clockJumpOffersMissedNoticesOnce();

    void messageWindowLayout_data();
    void messageWindowLayout();
    void messageWindowIsReadOnlyAndIndependent();
};

void TestNotify::dueOnlyDuringSecondZero_data()
{
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<bool>("shown");
    QTest::newRow(":00") << 0 << "0" << true;
    QTest::newRow(":01") << 1 << "0" << false;
    QTest::newRow(":30") << 30 << "0" << false;
    QTest::newRow(":59") << 59 << "0" << false;
    QTest::newRow("already shown") << 0 << "1" << false;
    QTest::newRow("flag neither 0 nor 1") << 0 << "" << false;
}

void TestNotify::dueOnlyDuringSecondZero()
{
    QFETCH(int, second);
    QFETCH(QString, flag);
    QFETCH(bool, shown);
    PiruneFixture f(at(9, 4, 30));
    f.writeText(QStringLiteral("2026/12/07 09:05\t会議\\n資料\t%1\r\n2026/12/08 09:05\tlater\t0\r\n").arg(flag));
    F_Pirune &w = f.start();
    w.Timer1->stop();
    Clock::setFixed(at(9, 5, second));
    w.Timer1_Timer();
    w.Timer1_Timer();
    if (shown) {
        QCOMPARE(PiruneFixture::messageTexts(), QStringList{QStringLiteral("会議\n資料")});
        QCOMPARE(PiruneFixture::messageWindows().first()->windowTitle(), QStringLiteral("メッセージ"));
        QCOMPARE(f.data(), f.cp932(QStringLiteral("2026/12/07 09:05\t会議\\n資料\t1\r\n2026/12/08 09:05\tlater\t0\r\n")));
        QCOMPARE(w.savesDone(), 1);
    } else {
        QVERIFY(PiruneFixture::messageWindows().isEmpty());
        QCOMPARE(w.savesDone(), 0);
    }
    QVERIFY(f.boxes.boxes.isEmpty());
}

void TestNotify::sameMinuteOpensWindowsInTableOrderAndSavesOnce()
{
    PiruneFixture f(at(9, 4, 30));
    f.writeData("2026/12/07 09:06\tother\t0\r\n2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:05\tsecond\t0\r\n");
    F_Pirune &w = f.start();
    w.Timer1->stop();
    Clock::setFixed(at(9, 5, 0));
    w.Timer1_Timer();
    QCOMPARE(PiruneFixture::messageTexts(), (QStringList{"first", "second"}));
    QCOMPARE(w.savesDone(), 1);
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:06\tother\t0\r\n2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:05\tsecond\t1\r\n"));
}

void TestNotify::storedFormsOfDateTime()
{
    PiruneFixture f(at(9, 4, 30));
    f.writeData("2026/12/7 9:5\tshort form\t0\r\nnot a date\tnever\t0\r\n\r\n2026/12/07 09:05:00\twith seconds\t0\r\n");
    F_Pirune &w = f.start();
    w.Timer1->stop();
    for (int s : {0, 1, 59}) {
        Clock::setFixed(at(9, 5, s));
        w.Timer1_Timer();
    }
    QCOMPARE(PiruneFixture::messageTexts(), QStringList{"short form"});
    QVERIFY(f.boxes.boxes.isEmpty());
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tshort form\t1\r\nnot a date\tnever\t0\r\n\t\t\r\n"
                                  "2026/12/07 09:05\twith seconds\t0\r\n"));
}

void TestNotify::emptyTableWritesNothing()
{
    PiruneFixture f(at(9, 5, 0));
    F_Pirune &w = f.start();
    w.Timer1_Timer();
    QCOMPARE(w.savesDone(), 0);
    QCOMPARE(QFileInfo(f.path()).size(), 0);
}

void TestNotify::latePassStillShowsWhatFellDue()
{
    PiruneFixture f(at(9, 4, 30));
    f.writeData("2026/12/07 09:05\tfirst\t0\r\n2026/12/07 09:06\tsecond\t0\r\n2026/12/07 09:07\tthird\t0\r\n");
    F_Pirune &w = f.start();
    w.Timer1->stop();
    Clock::setFixed(at(9, 4, 59));
    w.Timer1_Timer();
    Clock::setFixed(at(9, 5, 2)); // no tick fell into 09:05:00
    w.Timer1_Timer();
    QCOMPARE(PiruneFixture::messageTexts(), QStringList{"first"});

    Clock::setFixed(at(9, 5, 58));
    w.Timer1_Timer();
    Clock::setFixed(at(9, 6, 3));
    w.Timer1_Timer();
    QCOMPARE(PiruneFixture::messageTexts(), (QStringList{"first", "second"}));
    QVERIFY(f.boxes.boxes.isEmpty());

    Clock::setFixed(at(9, 6, 30)); // the clock set back shows nothing again
    w.Timer1_Timer();
    Clock::setFixed(at(9, 5, 0));
    w.Timer1_Timer();
    QCOMPARE(PiruneFixture::messageTexts().size(), 2);
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tfirst\t1\r\n2026/12/07 09:06\tsecond\t1\r\n"
                                  "2026/12/07 09:07\tthird\t0\r\n"));
}

void TestNotify::noticeAddedForBegunMinuteWaits()
{
    PiruneFixture f(at(9, 5, 30));
    F_Pirune &w = f.start();
    w.Timer1->stop();
    f.editor(QDate(2026, 12, 7), QStringLiteral("09:05"), QStringLiteral("late"));
    w.cmd_Add_Click();
    for (int s : {31, 59}) {
        Clock::setFixed(at(9, 5, s));
        w.Timer1_Timer();
    }
    Clock::setFixed(at(9, 6, 0));
    w.Timer1_Timer();
    QVERIFY(PiruneFixture::messageWindows().isEmpty());
    QCOMPARE(f.data(), QByteArray("2026/12/07 09:05\tlate\t0\r\n"));
}

void TestNotify::missedCheckAsksNothing_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("future only") << QByteArray("2026/12/07 09:05\ta\t0\r\n2027/01/01 00:00\tb\t0\r\n");
    QTest::newRow("past all shown") << QByteArray("2026/12/06 09:05\ta\t1\r\n2025/01/01 00:00\tb\t1\r\n");
    QTest::newRow("no date-times") << QByteArray("yesterday\ta\t0\r\n\r\n");
}

void TestNotify::missedCheckAsksNothing()
{
    QFETCH(QByteArray, file);
    PiruneFixture f(at(9, 4, 30));
    f.writeData(file);
    F_Pirune &w = f.start();
    QVERIFY(f.boxes.boxes.isEmpty());
    QCOMPARE(w.savesDone(), 0);
    QCOMPARE(f.data(), file);
}

void TestNotify::missedCheckYesShowsAllInOrder()
{
    PiruneFixture f(at(9, 4, 30));
    const QByteArray file("2026/12/07 08:00\tthird\t0\r\n2026/12/06 10:00\tfirst\t0\r\n2027/01/01 00:00\tfuture\t0\r\n"
                          "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t0\r\n");
    f.writeData(file);
    f.boxes.answers << MessageSeam::Answer::Yes;
    F_Pirune &w = f.start();
    QCOMPARE(f.boxes.boxes.size(), 1);
    const MessageSeam::Box &q = f.boxes.boxes.first();
    QCOMPARE(q.text, QStringLiteral("未通知のメッセージがあります。\r\n表示しますか？"));
    QCOMPARE(q.title, QStringLiteral("確認"));
    QCOMPARE(q.buttons, MessageSeam::Buttons::YesNo);
    QCOMPARE(q.defaultAnswer, MessageSeam::Answer::Yes);
    QCOMPARE(q.icon, MessageSeam::Icon::None);
    QCOMPARE(PiruneFixture::messageTexts(), (QStringList{"third", "first", "second\nline"}));
    QCOMPARE(w.savesDone(), 1);
    QCOMPARE(f.data(), QByteArray("2026/12/07 08:00\tthird\t1\r\n2026/12/06 10:00\tfirst\t1\r\n2027/01/01 00:00\tfuture\t0\r\n"
                                  "2026/12/01 10:00\tshown\t1\r\n2026/12/07 09:04\tsecond\\nline\t1\r\n"));
    QVERIFY(!w.isVisible());
}

void TestNotify::missedCheckNoChangesNothing()
{
    PiruneFixture f(at(9, 4, 30));
    const QByteArray file("2026/12/06 10:00\tmissed\t0\r\n");
    f.writeData(file);
    f.boxes.answers << MessageSeam::Answer::No;
    F_Pirune &w = f.start();
    QCOMPARE(f.boxes.boxes.size(), 1);
    QVERIFY(PiruneFixture::messageWindows().isEmpty());
    QCOMPARE(w.savesDone(), 0);
    QCOMPARE(f.data(), file);
    QCOMPARE(w.table().arrTuuti, QStringList{"0"});
}

void TestNotify::currentMinuteSecondZeroIsNotMissed()
{
    {
        PiruneFixture f(at(9, 5, 0));
        f.writeData("2026/12/07 09:05\tnow\t0\r\n");
        f.start();
        QVERIFY(f.boxes.boxes.isEmpty());
    }
    PiruneFixture f(at(9, 5, 1));
    f.writeData("2026/12/07 09:05\tnow\t0\r\n");
    f.boxes.answers << MessageSeam::Answer::No;
    f.start();
    QCOMPARE(f.boxes.boxes.size(), 1);
}

void TestNotify::ticksWaitUntilTableIsLoaded()
{
    PiruneFixture f(at(9, 5, 0));
    const QByteArray file("2026/12/07 09:05\tdue now\t0\r\n2026/12/08 10:00\tfourth\t0\textra field\r\n"
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

void TestNotify::failingPassDoesNotStackBoxes()
{
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

void TestNotify::clockJumpOffersMissedNoticesOnce()
{
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

void TestNotify::messageWindowLayout_data()
{
    QTest::addColumn<QSize>("asked"); // client size in pixels
    QTest::addColumn<QRect>("text");  // twips
    QTest::addColumn<QPoint>("button");
    QTest::newRow("minimum") << QSize(397, 204) << QRect(0, 0, 6015, 2415) << QPoint(2490, 2520);
    QTest::newRow("below minimum") << QSize(50, 20) << QRect(0, 0, 6015, 2415) << QPoint(2490, 2520);
    QTest::newRow("+1500 / +750") << QSize(497, 254) << QRect(0, 0, 7515, 3165) << QPoint(3240, 3270);
}

void TestNotify::messageWindowLayout()
{
    QFETCH(QSize, asked);
    QFETCH(QRect, text);
    QFETCH(QPoint, button);
    auto *m = new frmMessage();
    m->show();
    m->setMinimumSize(0, 0);
    m->resize(asked);
    m->Form_Resize();
    const auto tw = [](int px) { return Twips::tw(px); };
    QCOMPARE(QRect(tw(m->txtMessage->x()), tw(m->txtMessage->y()), tw(m->txtMessage->width()), tw(m->txtMessage->height())),
             text);
    QCOMPARE(QPoint(tw(m->cmdOk->x()), tw(m->cmdOk->y())), button);
    QCOMPARE(m->cmdOk->size(), QSize(73, 25));
    m->close();
}

void TestNotify::messageWindowIsReadOnlyAndIndependent()
{
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
    QCOMPARE(QApplication::focusWidget() == one->cmdOk || one->cmdOk->hasFocus() || !one->isActiveWindow(), true);
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

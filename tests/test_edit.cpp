#include "PiruneFixture.h"
#include "app/WidgetMessageBox.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
const QDate kDay(2026, 12, 7);

QByteArray lines(std::initializer_list<const char *> rows)
{
    QByteArray out;
    for (const char *r : rows)
        out += QByteArray(r) + "\r\n";
    return out;
}
} // namespace

class TestEdit : public QObject
{
    Q_OBJECT
private slots:
    void init() { f = std::make_unique<PiruneFixture>(QDateTime(QDate(2026, 12, 1), QTime(8, 0, 20))); }
    void cleanup() { f.reset(); }

    void timeCheck_data();
    void timeCheck();
    void addSortsSelectsAndSaves();
    void addTwiceGivesTwoEqualNotices();
    void messageLineBreaksAndTabs_data();
    void messageLineBreaksAndTabs();
    void selectingLineFillsEditor();
    void userSelectionLoadsTheLine_data();
    void userSelectionLoadsTheLine();
    void changeResetsFlagAndSelectionFollows();
    void changeWithoutSelectionWarnsFirst();
    void deleteKeepsNeighbours_data();
    void deleteKeepsNeighbours();
    void deleteOnlyNoticeEmptiesEditor();
    void deleteDeclinedOrWithoutSelection();
    void enterInRealDeleteQuestionAnswersNo();
    void clearKeepsTableAndSelection();
    void failedSaveAfterAddKeepsNoticeAndButtons();
    void characterTheFileCannotHoldIsRefused();

private:
    F_Pirune &startWith(const QByteArray &bytes)
    {
        f->writeData(bytes);
        F_Pirune &w = f->start();
        w.Timer1->stop();
        f->boxes.clear();
        return w;
    }
    std::unique_ptr<PiruneFixture> f;
};

void TestEdit::timeCheck_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty when refused
    QTest::newRow("untouched") << "" << "";
    QTest::newRow("partly typed") << "12:3" << "";
    QTest::newRow("hour missing digit") << "1:30" << "";
    QTest::newRow("24:00") << "24:00" << "";
    QTest::newRow("12:60") << "12:60" << "";
    QTest::newRow("99:99") << "99:99" << "";
    QTest::newRow("00:00") << "00:00" << "00:00";
    QTest::newRow("23:59") << "23:59" << "23:59";
    QTest::newRow("full-width digits") << "１２:３４" << "12:34";
}

void TestEdit::timeCheck()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    F_Pirune &w = startWith({});
    w.show();
    w.cmdEnd->setFocus();
    f->editor(kDay, QString(), QStringLiteral("m"));
    w.txt_SetteiJikoku->clear();
    w.txt_SetteiJikoku->setCursorPosition(0);
    for (const QChar c : typed.remove(QLatin1Char(':')))
        QTest::sendKeyEvent(QTest::Click, w.txt_SetteiJikoku, Qt::Key(Qt::Key_0 + c.digitValue()), QString(c), {});
    w.cmdEnd->setFocus();
    w.cmd_Add_Click();
    if (!stored.isEmpty()) {
        QVERIFY(f->boxes.boxes.isEmpty());
        QCOMPARE(f->data(), QByteArray("2026/12/07 ") + stored.toLatin1() + "\tm\t0\r\n");
        return;
    }
    QCOMPARE(f->boxes.texts(), QStringList{QStringLiteral("hh:nnの形式で入力して下さい")});
    QCOMPARE(f->boxes.boxes.first().title, QStringLiteral("Pirune"));
    QCOMPARE(f->boxes.boxes.first().icon, MessageSeam::Icon::None);
    QCOMPARE(w.focusWidget(), static_cast<QWidget *>(w.txt_SetteiJikoku));
    QCOMPARE(w.lstItiran->count(), 0);
    QCOMPARE(w.savesDone(), 0);
    QCOMPARE(f->data(), QByteArray());
}

void TestEdit::addSortsSelectsAndSaves()
{
    F_Pirune &w = startWith(lines({"2026/12/09 10:00\tlater\t1", "2026/12/08 10:00\tsooner\t0"}));
    f->editor(kDay, QStringLiteral("08:30"), QStringLiteral("earliest"));
    w.cmd_Add_Click();
    QCOMPARE(f->listLines(), (QStringList{"2026/12/07 08:30|earliest", "2026/12/08 10:00|sooner", "2026/12/09 10:00|later"}));
    QCOMPARE(w.listIndex(), 0);
    QCOMPARE(w.txtSetteiMes->toPlainText(), QStringLiteral("earliest"));
    QCOMPARE(f->data(), lines({"2026/12/07 08:30\tearliest\t0", "2026/12/08 10:00\tsooner\t0", "2026/12/09 10:00\tlater\t1"}));
    QVERIFY(f->boxes.boxes.isEmpty());
}

void TestEdit::addTwiceGivesTwoEqualNotices()
{
    F_Pirune &w = startWith({});
    QVERIFY(!w.cmd_Del->isEnabled());
    f->editor(kDay, QStringLiteral("09:00"), QStringLiteral("same"));
    w.cmd_Add_Click();
    QVERIFY(w.cmd_Del->isEnabled() && w.cmd_Settei->isEnabled());
    w.cmd_Add_Click();
    QCOMPARE(f->data(), lines({"2026/12/07 09:00\tsame\t0", "2026/12/07 09:00\tsame\t0"}));
    QCOMPARE(w.lstItiran->count(), 2);
}

void TestEdit::messageLineBreaksAndTabs_data()
{
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("editorAfter");
    QTest::newRow("typed breaks and a tab") << "a\tb\nc\n" << QByteArray("ab\\nc\\n") << "ab\nc\n";
    QTest::newRow("pasted CR LF") << "x\r\ny" << QByteArray("x\\ny") << "x\ny";
    QTest::newRow("pasted lone CR") << "x\ry" << QByteArray("x\\ny") << "x\ny";
    QTest::newRow("typed backslash n") << "a\\nb" << QByteArray("a\\nb") << "a\nb";
}

void TestEdit::messageLineBreaksAndTabs()
{
    QFETCH(QString, entered);
    QFETCH(QByteArray, stored);
    QFETCH(QString, editorAfter);
    F_Pirune &w = startWith({});
    f->editor(kDay, QStringLiteral("09:00"), entered);
    w.cmd_Add_Click();
    QCOMPARE(f->data(), "2026/12/07 09:00\t" + stored + "\t0\r\n");
    QCOMPARE(f->listLines(), QStringList{QStringLiteral("2026/12/07 09:00|") + QString::fromLatin1(stored)});
    QCOMPARE(w.txtSetteiMes->toPlainText(), editorAfter);
    QVERIFY(!w.txtSetteiMesText().contains(QRegularExpression(QStringLiteral("[^\r]\n"))));
}

void TestEdit::selectingLineFillsEditor()
{
    F_Pirune &w = startWith(lines({"2026/12/09 10:00\t二行\\n目\t0", "2027/1/5 9:05\thand edited\t0"}));
    w.show();
    const QRect r = w.lstItiran->visualItemRect(w.lstItiran->item(0));
    QTest::mouseClick(w.lstItiran->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(w.listIndex(), 0);
    QCOMPARE(w.DTP_YMD->Value(), QStringLiteral("2026/12/09"));
    QCOMPARE(w.txt_SetteiJikoku->Text(), QStringLiteral("10:00"));
    QCOMPARE(w.txtSetteiMesText(), QStringLiteral("二行\r\n目"));
    w.setListIndex(1);
    QCOMPARE(w.DTP_YMD->Value(), QStringLiteral("2027/01/05"));
    QCOMPARE(w.txt_SetteiJikoku->Text(), QStringLiteral("09:05"));
    QCOMPARE(w.savesDone(), 0);
    QVERIFY(f->boxes.boxes.isEmpty());
}

void TestEdit::userSelectionLoadsTheLine_data()
{
    QTest::addColumn<int>("before"); // the line the program selected; -1: none, the list only has the focus
    QTest::addColumn<QString>("input"); // a key, or a click on a line (-1: below the lines)
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("mes");
    QTest::newRow("Space") << -1 << "Space" << 0 << "a";
    QTest::newRow("Home") << -1 << "Home" << 0 << "a";
    QTest::newRow("End") << -1 << "End" << 3 << "d";
    QTest::newRow("PageDown") << -1 << "PgDown" << 3 << "d";
    QTest::newRow("PageUp") << 3 << "PgUp" << 0 << "a";
    QTest::newRow("typed letter off an unloadable line") << 1 << "2" << 2 << "c";
    QTest::newRow("click off an unloadable line") << 1 << "click 3" << 3 << "d";
    QTest::newRow("click on the selected line") << 2 << "click 2" << 2 << "c";
    QTest::newRow("Ctrl+click on the selected line") << 2 << "Ctrl+click 2" << 2 << "c";
    QTest::newRow("click below the lines") << 2 << "click -1" << 2 << "edited";
}

void TestEdit::userSelectionLoadsTheLine()
{
    QFETCH(int, before);
    QFETCH(QString, input);
    QFETCH(int, row);
    QFETCH(QString, mes);
    F_Pirune &w = startWith(lines({"2026/12/09 10:00\ta\t0", "bad\tb\t0", "2026/12/11 10:00\tc\t0", "2026/12/12 10:00\td\t0"}));
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.setListIndex(before);
    w.lstItiran->setFocus();
    w.txtSetteiMes->setPlainText(QStringLiteral("edited"));
    if (input.contains(QLatin1String("click"))) {
        const QListWidgetItem *item = w.lstItiran->item(input.section(QLatin1Char(' '), 1).toInt());
        const QPoint p = item ? w.lstItiran->visualItemRect(item).center() : QPoint(5, w.lstItiran->viewport()->height() - 5);
        QTest::mouseClick(w.lstItiran->viewport(), Qt::LeftButton, input.startsWith(QLatin1String("Ctrl")) ? Qt::ControlModifier : Qt::NoModifier, p);
    } else
        QTest::keyClick(w.lstItiran, QKeySequence(input)[0].key());
    QCOMPARE(w.listIndex(), row);
    QCOMPARE(w.txtSetteiMes->toPlainText(), mes);
    QCOMPARE(f->boxes.boxes.size(), before == 1 ? 1 : 0); // only the program's own selection of the unloadable line
}

void TestEdit::changeResetsFlagAndSelectionFollows()
{
    F_Pirune &w = startWith(lines({"2026/12/07 09:00\ta\t1", "2026/12/08 09:00\tb\t1", "2026/12/09 09:00\tc\t1"}));
    w.setListIndex(0);
    f->editor(QDate(2026, 12, 10), QStringLiteral("07:15"), QStringLiteral("a moved"));
    w.cmd_Settei_Click();
    QCOMPARE(f->data(), lines({"2026/12/08 09:00\tb\t1", "2026/12/09 09:00\tc\t1", "2026/12/10 07:15\ta moved\t0"}));
    QCOMPARE(w.listIndex(), 2);
    QCOMPARE(w.txtSetteiMes->toPlainText(), QStringLiteral("a moved"));
    QCOMPARE(f->listLines().last(), QStringLiteral("2026/12/10 07:15|a moved"));
    QVERIFY(w.cmd_Del->isEnabled());
}

void TestEdit::changeWithoutSelectionWarnsFirst()
{
    F_Pirune &w = startWith(lines({"2026/12/07 09:00\ta\t1"}));
    w.txt_SetteiJikoku->setText(QStringLiteral("99:99"));
    w.cmd_Settei_Click();
    QCOMPARE(f->boxes.texts(), QStringList{QStringLiteral("変更対象を選択してください")});
    QCOMPARE(w.savesDone(), 0);
}

void TestEdit::deleteKeepsNeighbours_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("selectedAfter");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::newRow("first") << 0 << 0 << lines({"2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t1"});
    QTest::newRow("middle") << 1 << 0 << lines({"2026/12/07 09:00\ta\t0", "2026/12/09 09:00\tc\t1"});
    QTest::newRow("last") << 2 << 1 << lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0"});
}

void TestEdit::deleteKeepsNeighbours()
{
    QFETCH(int, line);
    QFETCH(int, selectedAfter);
    QFETCH(QByteArray, fileAfter);
    F_Pirune &w = startWith(lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t1"}));
    w.setListIndex(line);
    f->boxes.answers << MessageSeam::Answer::Yes;
    w.cmd_Del_Click();
    QCOMPARE(f->boxes.boxes.size(), 1);
    const MessageSeam::Box &q = f->boxes.boxes.first();
    QCOMPARE(q.text, QStringLiteral("削除しますか？"));
    QCOMPARE(q.title, QStringLiteral("確認"));
    QCOMPARE(q.defaultAnswer, MessageSeam::Answer::No);
    QCOMPARE(f->data(), fileAfter);
    QCOMPARE(w.listIndex(), selectedAfter);
    QCOMPARE(w.lstItiran->count(), 2);
    QCOMPARE(w.table().lngLast, 1);
    QCOMPARE(w.txtSetteiMesText(), w.table().arrMes.at(selectedAfter));
    QVERIFY(w.cmd_Del->isEnabled());
}

void TestEdit::deleteOnlyNoticeEmptiesEditor()
{
    F_Pirune &w = startWith(lines({"2026/12/09 09:00\tonly\t0"}));
    w.setListIndex(0);
    Clock::setFixed(QDateTime(kDay, QTime(13, 7, 0)));
    f->boxes.answers << MessageSeam::Answer::Yes;
    w.cmd_Del_Click();
    QCOMPARE(f->data(), QByteArray());
    QCOMPARE(w.lstItiran->count(), 0);
    QCOMPARE(w.listIndex(), -1);
    QCOMPARE(w.txt_SetteiJikoku->Text(), QStringLiteral("13:07"));
    QCOMPARE(w.txtSetteiMes->toPlainText(), QString());
    QCOMPARE(w.DTP_YMD->Value(), QStringLiteral("2026/12/09"));
    QVERIFY(!w.cmd_Del->isEnabled() && !w.cmd_Settei->isEnabled());

    f->editor(kDay, QStringLiteral("10:00"), QStringLiteral("after"));
    w.cmd_Add_Click();
    QCOMPARE(f->data(), lines({"2026/12/07 10:00\tafter\t0"}));
}

void TestEdit::deleteDeclinedOrWithoutSelection()
{
    const QByteArray file = lines({"2026/12/07 09:00\ta\t0"});
    F_Pirune &w = startWith(file);
    w.cmd_Del_Click();
    QCOMPARE(f->boxes.texts(), QStringList{QStringLiteral("削除対象を選択してください")});
    w.setListIndex(0);
    w.cmd_Del_Click(); // the recorder gives the default answer: No
    QCOMPARE(f->boxes.boxes.size(), 2);
    QCOMPARE(w.lstItiran->count(), 1);
    QCOMPARE(f->data(), file);
    QCOMPARE(w.savesDone(), 0);
}

void TestEdit::enterInRealDeleteQuestionAnswersNo()
{
    MessageSeam::Answer seen = MessageSeam::Answer::Yes;
    QString yesText, noText;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QAbstractButton *b : box->buttons())
            (box->buttonRole(b) == QMessageBox::YesRole ? yesText : noText) = b->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    seen = execWidgetMessageBox({QStringLiteral("削除しますか？"), QStringLiteral("確認"), MessageSeam::Buttons::YesNo,
                                 MessageSeam::Icon::None, MessageSeam::Answer::No, false});
    QCOMPARE(seen, MessageSeam::Answer::No);
    QCOMPARE(yesText, QStringLiteral("はい(&Y)"));
    QCOMPARE(noText, QStringLiteral("いいえ(&N)"));
}

void TestEdit::clearKeepsTableAndSelection()
{
    const QByteArray file = lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0"});
    F_Pirune &w = startWith(file);
    w.setListIndex(1);
    Clock::setFixed(QDateTime(kDay, QTime(18, 45, 10)));
    w.cmd_Clear_Click();
    QCOMPARE(w.txt_SetteiJikoku->Text(), QStringLiteral("18:45"));
    QCOMPARE(w.txtSetteiMes->toPlainText(), QString());
    QCOMPARE(w.DTP_YMD->Value(), QStringLiteral("2026/12/08"));
    QCOMPARE(w.listIndex(), 1);
    QCOMPARE(f->data(), file);
    QCOMPARE(w.savesDone(), 0);
}

void TestEdit::failedSaveAfterAddKeepsNoticeAndButtons()
{
    F_Pirune &w = startWith({});
    QVERIFY(QFile::remove(f->path()));
    QVERIFY(QDir(f->dir.path()).mkdir(QStringLiteral("Pirune.dat")));
    f->editor(kDay, QStringLiteral("09:00"), QStringLiteral("kept in memory"));
    w.cmd_Add_Click();
    QCOMPARE(f->boxes.boxes.size(), 1);
    QVERIFY(f->boxes.texts().first().startsWith(QStringLiteral("SaveDataToFile Code:75 / Msg:")));
    QCOMPARE(f->listLines(), QStringList{"2026/12/07 09:00|kept in memory"});
    QVERIFY(!w.cmd_Del->isEnabled());

    QVERIFY(QDir(f->dir.path()).rmdir(QStringLiteral("Pirune.dat")));
    f->editor(kDay, QStringLiteral("10:00"), QStringLiteral("next"));
    w.cmd_Add_Click();
    QCOMPARE(f->data(), lines({"2026/12/07 09:00\tkept in memory\t0", "2026/12/07 10:00\tnext\t0"}));
    QVERIFY(w.cmd_Del->isEnabled());
}

void TestEdit::characterTheFileCannotHoldIsRefused()
{
    const QByteArray file = lines({"2026/12/07 09:00\ta\t0"});
    F_Pirune &w = startWith(file);
    const QString emoji = QString::fromUtf8("party \xF0\x9F\x8E\x89");
    f->editor(kDay, QStringLiteral("10:00"), emoji);
    w.cmd_Add_Click();
    QCOMPARE(f->boxes.boxes.size(), 1);
    QVERIFY(f->boxes.texts().first().contains(QStringLiteral("U+1F389")));
    QCOMPARE(f->boxes.boxes.first().title, QStringLiteral("Pirune"));
    QCOMPARE(w.lstItiran->count(), 1);
    QCOMPARE(w.txtSetteiMes->toPlainText(), emoji);
    QCOMPARE(f->data(), file);

    w.setListIndex(0);
    w.txtSetteiMes->setPlainText(emoji);
    w.cmd_Settei_Click();
    QCOMPARE(f->boxes.boxes.size(), 2);
    QCOMPARE(w.table().arrMes, QStringList{"a"});
    QCOMPARE(f->data(), file);
}

QTEST_MAIN(TestEdit)
#include "test_edit.moc"

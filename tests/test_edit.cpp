#include "PiruneFixture.h"

#include <QtTest>

namespace {
QByteArray lines(std::initializer_list<const char *> rows) {
    QByteArray out;
    for (const char *r : rows)
        out += QByteArray(r) + "\r\n";
    return out;
}
const QByteArray kThree = lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t1"});

// A Data file, what the user does ("; "-separated), what the user sees at each "look" and at the
// end (one line each), and the Data file afterwards (null: unchanged).
struct Edit { QByteArray file; QString script; QString seen; QByteArray after; };

// Steps: "ed <date> <time> <message>" fills the editor; "sel <line>" selects a line as the program
// does, "click <line>", "ctrl-click <line>" and "key <key>" as the user does; "add", "change",
// "clear", "del yes|no" press the buttons; "now hh:mm" moves the clock; "break" and "mend" make the
// Data file a folder and a file again.
QString run(PiruneFixture &f, const QString &script) {
    F_Pirune &w = *f.w;
    w.show();
    [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(&w);
    w.cmdEnd->setFocus();
    const QMap<QString, QPushButton *> buttons{
        {"add", w.cmd_Add}, {"change", w.cmd_Settei}, {"del", w.cmd_Del}, {"clear", w.cmd_Clear}};
    QStringList looks;
    for (const QString &step : script.split("; ")) {
        const QString cmd = step.section(' ', 0, 0), arg = step.section(' ', 1);
        if (cmd == "ed") {
            w.DTP_YMD->setDate(QDate::fromString(arg.section(' ', 0, 0), "yyyy/MM/dd"));
            w.txt_SetteiJikoku->setText(arg.section(' ', 1, 1));
            w.txtSetteiMes->setPlainText(arg.section(' ', 2));
        } else if (cmd == "sel") {
            w.setListIndex(arg.toInt());
        } else if (cmd == "click" || cmd == "ctrl-click") { // on a line, or with -1 below the lines
            const QListWidgetItem *line = w.lstItiran->item(arg.toInt());
            QTest::mouseClick(w.lstItiran->viewport(), Qt::LeftButton, cmd == "click" ? Qt::NoModifier : Qt::ControlModifier,
                              line ? w.lstItiran->visualItemRect(line).center() : QPoint(5, w.lstItiran->viewport()->height() - 5));
        } else if (cmd == "key") { // in the list
            w.lstItiran->setFocus();
            QTest::keyClick(w.lstItiran, QKeySequence(arg)[0].key());
        } else if (cmd == "now") {
            Clock::setFixed(QDateTime(QDate(2026, 12, 1), QTime::fromString(arg, "hh:mm")));
        } else if (cmd == "break") {
            QFile::remove(f.path);
            QDir(f.dir.path()).mkdir("Pirune.dat");
        } else if (cmd == "mend") {
            QDir(f.dir.path()).rmdir("Pirune.dat");
        } else if (cmd == "look") {
            looks << f.seen();
        } else if (cmd == "del") {
            f.boxes.answers << (arg == "yes" ? MessageSeam::Answer::Yes : MessageSeam::Answer::No);
        }
        if (buttons.contains(cmd))
            buttons[cmd]->click();
    }
    return (looks << f.seen()).join('\n');
}
} // namespace

class TestEdit : public QObject {
    Q_OBJECT
private slots:
    void commands_data() {
        QTest::addColumn<Edit>("e");
        const std::pair<const char *, const char *> refused[] = {
            {":", "__:__"}, {"12:3", "12:3_"}, {"24:00", "24:00"}, {"12:60", "12:60"}, {"99:99", "99:99"}};
        for (const auto &[typed, shown] : refused)
            QTest::addRow("time %s refused", typed) << Edit{"", QString("ed 2026/12/07 %1 m; add").arg(typed),
                QString("-1 2026/12/07 %1 m focus:txt_SetteiJikoku [Pirune: hh:nnの形式で入力して下さい]").arg(shown), {}};
        for (const char *time : {"00:00", "23:59"})
            QTest::addRow("time %s", time) << Edit{"", QString("ed 2026/12/07 %1 m; add").arg(time),
                QString("0 2026/12/07 %1 m 変更 削除").arg(time), QString("2026/12/07 %1\tm\t0\r\n").arg(time).toLatin1()};
        QTest::newRow("full-width digits") << Edit{"", "ed 2026/12/07 １２:３４ m; add", "0 2026/12/07 12:34 m 変更 削除",
            "2026/12/07 12:34\tm\t0\r\n"};
        QTest::newRow("add in sorted place, twice") << Edit{lines({"2026/12/09 10:00\tlater\t1", "2026/12/08 10:00\tsooner\t0"}),
            "ed 2026/12/07 08:30 earliest; add; look; add", "0 2026/12/07 08:30 earliest 変更 削除\n1 2026/12/07 08:30 earliest 変更 削除",
            lines({"2026/12/07 08:30\tearliest\t0", "2026/12/07 08:30\tearliest\t0", "2026/12/08 10:00\tsooner\t0",
                   "2026/12/09 10:00\tlater\t1"})};
        QTest::newRow("line breaks and tabs") << Edit{"", "ed 2026/12/07 09:00 a\tb\nc\n; add",
            "0 2026/12/07 09:00 ab/c/ 変更 削除", "2026/12/07 09:00\tab\\nc\\n\t0\r\n"};
        QTest::newRow("typed backslash n") << Edit{"", "ed 2026/12/07 09:00 a\\nb; add", "0 2026/12/07 09:00 a/b 変更 削除",
            "2026/12/07 09:00\ta\\nb\t0\r\n"};
        const QByteArray two = lines({"2026/12/09 10:00\t二行\\n目\t0", "2027/1/5 9:05\thand edited\t0"});
        QTest::newRow("click fills the editor") << Edit{two, "click 0; look; sel 1",
            "0 2026/12/09 10:00 二行/目 変更 削除 focus:lstItiran\n1 2027/01/05 09:05 hand edited 変更 削除 focus:lstItiran", {}};
        // Every way the user picks a line loads it once, also off a line that cannot be loaded; only
        // picking another line changes the pick.
        const QByteArray four = lines({"2026/12/09 10:00\ta\t0", "bad\tb\t0", "2026/12/11 10:00\tc\t0", "2026/12/12 10:00\td\t0"});
        const QString a = "0 2026/12/09 10:00 a 変更 削除 focus:lstItiran", c = "2 2026/12/11 10:00 c 変更 削除 focus:lstItiran",
                      d = "3 2026/12/12 10:00 d 変更 削除 focus:lstItiran", edited = "2004/12/02 08:00 edited",
                      bad = " [Pirune: lstItiran_Click Code:-2147467259 / Msg:コントロールの呼び出しに失敗しました。 "
                            "(DTP_YMD.Value = \"bad\")]";
        for (const auto &[key, shown] : {std::pair{"Space", a}, {"Home", a}, {"End", d}, {"PgDown", d}})
            QTest::addRow("%s on the list", key) << Edit{four, QString("ed %1; key %2").arg(edited, key), shown, {}};
        QTest::newRow("PgUp on the list") << Edit{four, "sel 3; ed " + edited + "; key PgUp", a, {}};
        QTest::newRow("letter off a bad line") << Edit{four, "sel 1; ed " + edited + "; key 2", c + bad, {}};
        QTest::newRow("click off a bad line") << Edit{four, "sel 1; ed " + edited + "; click 3", d + bad, {}};
        QTest::newRow("click the selected line") << Edit{four, "sel 2; ed " + edited + "; click 2", c, {}};
        QTest::newRow("ctrl-click the selected line") << Edit{four, "sel 2; ed " + edited + "; ctrl-click 2", c, {}};
        QTest::newRow("click below the lines") << Edit{four, "sel 2; ed " + edited + "; click -1",
            "2 " + edited + " 変更 削除 focus:lstItiran", {}};
        QTest::newRow("change: shown again, moved") << Edit{lines({"2026/12/07 09:00\ta\t1", "2026/12/08 09:00\tb\t1"}),
            "sel 0; ed 2026/12/10 07:15 a moved; change", "1 2026/12/10 07:15 a moved 変更 削除",
            lines({"2026/12/08 09:00\tb\t1", "2026/12/10 07:15\ta moved\t0"})};
        QTest::newRow("change, nothing selected") << Edit{kThree, "ed 2026/12/07 99:99 x; change",
            "-1 2026/12/07 99:99 x 変更 削除 [Pirune: 変更対象を選択してください]", {}};
        const QString asked = " 変更 削除 [確認: 削除しますか？]";
        QTest::newRow("delete first") << Edit{kThree, "sel 0; del yes", "0 2026/12/08 09:00 b" + asked,
            lines({"2026/12/08 09:00\tb\t0", "2026/12/09 09:00\tc\t1"})};
        QTest::newRow("delete middle") << Edit{kThree, "sel 1; del yes", "0 2026/12/07 09:00 a" + asked,
            lines({"2026/12/07 09:00\ta\t0", "2026/12/09 09:00\tc\t1"})};
        QTest::newRow("delete last") << Edit{kThree, "sel 2; del yes", "1 2026/12/08 09:00 b" + asked,
            lines({"2026/12/07 09:00\ta\t0", "2026/12/08 09:00\tb\t0"})};
        QTest::newRow("delete declined") << Edit{kThree, "sel 0; del no", "0 2026/12/07 09:00 a" + asked, {}};
        QTest::newRow("delete, nothing selected") << Edit{kThree, "del yes",
            "-1 2004/12/02 08:00  変更 削除 [Pirune: 削除対象を選択してください]", {}};
        QTest::newRow("delete the only one") << Edit{lines({"2026/12/09 09:00\tonly\t0"}), "sel 0; now 13:07; del yes",
            "-1 2026/12/09 13:07  [確認: 削除しますか？]", ""};
        QTest::newRow("clear") << Edit{kThree, "sel 1; now 18:45; clear", "1 2026/12/08 18:45  変更 削除", {}};
        QTest::newRow("failed save keeps the notice") << Edit{"", "break; ed 2026/12/07 09:00 kept; add; look; mend; "
            "ed 2026/12/07 10:00 next; add", "0 2026/12/07 09:00 kept [Pirune: SaveDataToFile Code:75 / Msg:"
            "パス/ファイル アクセス エラーです。 (DIR/Pirune.dat: フォルダーです)]\n1 2026/12/07 10:00 next 変更 削除",
            lines({"2026/12/07 09:00\tkept\t0", "2026/12/07 10:00\tnext\t0"})};
        const QString emoji = " [Pirune: メッセージの文字「🎉」(U+1F389)はデータファイルに保存できません。"
                              "この文字を除くか、別の文字に置き換えてください。]";
        QTest::newRow("character the file cannot hold") << Edit{kThree, "ed 2026/12/07 10:00 🎉 x; add; look; sel 0; "
            "ed 2026/12/07 10:00 🎉; change", "-1 2026/12/07 10:00 🎉 x 変更 削除 focus:txtSetteiMes" + emoji +
            "\n0 2026/12/07 10:00 🎉 変更 削除 focus:txtSetteiMes" + emoji, {}};
    }
    void commands() {
        QFETCH(Edit, e);
        PiruneFixture f(QDateTime(QDate(2026, 12, 1), QTime(8, 0, 20)));
        f.start(e.file);
        f.w->Timer1->stop();
        QCOMPARE(run(f, e.script), e.seen);
        QCOMPARE(f.data(), e.after.isNull() ? e.file : e.after);
    }
};

QTEST_MAIN(TestEdit)
#include "test_edit.moc"

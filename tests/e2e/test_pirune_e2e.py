import json, os, pathlib, signal, time, unittest

from pirune_e2e import A11Y_PYTHON, HERE, LATER, QUIET, PiruneSession, notices, setUpModule  # noqa

ROWS = [
    ("2026/12/07 08:30", "朝会の準備\\n議事録", "0"),
    ("2026/12/07 07:00", "already shown", "1"),
    ("2026/12/07 09:05", "会議\\n3F 第2会議室", "0"),
    ("2026/12/08 09:05", "tomorrow", "0"),
]


def shown(row):  # as the Data file keeps a notice once its message is shown
    return row[:2] + ("1",)


def menu_and_exit(s, rows):  # the tray menu's items, 終了 last with windows open
    text = s.copy_text(s.menu_command("v", opens="バージョン情報"), (40, 20))
    s.check(text == "Pirune(簡易スケジューラー)\nVersion 2.5.25", f"the version window shows {text!r}")
    s.menu_command("s", opens="Pirune")
    s.menu_command("x")
    s.check(s.procs["pirune"].wait(5) == 0, "終了 did not end the program with code 0")
    s.check(not s.program_windows() and not s.tray_icons(), "windows or the icon left after 終了")
    s.check(s.data_bytes() == notices(rows), "the Data file after 終了")


class Notices(unittest.TestCase):
    def test_the_missed_question_a_due_message_then_the_menu_and_exit(self):
        with PiruneSession(data=notices(ROWS), fake_time="2026-12-07 09:04:45") as s:
            s.wait_window("確認")
            s.check(not s.program_windows("メッセージ"), "a message before the answer")
            s.answer("確認", "Return", QUIET)  # Yes is the default
            box = s.wait_window("メッセージ")
            s.wait_data([shown(ROWS[0]), *ROWS[1:]], 3, "the flag")
            s.click(box, (box.width // 2, box.height - 24))  # OK
            s.wait_no_window("メッセージ")
            box = s.wait_window("メッセージ", timeout=s.started + 18 - time.time())
            s.check(s.copy_text(box, (100, 50)) == "会議\n3F 第2会議室", "the due message's text")
            flagged = [shown(ROWS[0]), ROWS[1], shown(ROWS[2]), ROWS[3]]
            s.wait_data(flagged, 3, "the flag of the due notice")
            menu_and_exit(s, flagged)


class OnGnomeShell(unittest.TestCase):
    # the shell calls Activate once per double-click, and draws the menu itself
    def test_a_double_click_opens_the_window_and_the_menu_ends_it(self):
        with PiruneSession(data=notices(LATER), host="gnome") as s:
            s.key("Escape")  # out of the overview the shell starts in
            s.open_main()
            active = s.xdotool("getactivewindow getwindowname")
            s.check(active == "Pirune\n", f"the active window is {active!r}")
            s.click(button=3)
            s.key("Down", "Down", "Down", "Return")  # 終了, the third item
            s.check(s.procs["pirune"].wait(5) == 0, "終了 did not end the program with code 0")


class LatePanels(unittest.TestCase):
    def test_a_panel_started_10_s_late_gets_the_icon_its_clicks_and_its_menu(self):
        with PiruneSession(notices(LATER), host="xfce", late_host=True) as sni:
            time.sleep(max(0.0, sni.started + 10 - time.time()))
            sni.start_host()
            sni.wait_for(sni.tray_icons, 2, "the icon in a panel started late")
            time.sleep(max(0.0, sni.started + 31 - time.time()))  # past the wait for a panel
            sni.check(len(sni.tray_icons()) == 1 and not sni.program_windows(), "not just an icon")
            items = sni.sni_items()  # where each click on the item is an Activate call
            tip = sni.dbus_property("ToolTip", items[0], "org.kde.StatusNotifierItem")
            sni.check(len(items) == 1 and '"Pirune"' in tip, f"items {items}, tooltip {tip!r}")
            sni.click()
            time.sleep(1.5)
            sni.check(not sni.program_windows(), "a single click opened a window")
            sni.click(sni.open_main(), "close")
            sni.wait_no_window("Pirune")
            menu_and_exit(sni, LATER)


class WatcherRestarts(unittest.TestCase):
    # Qt registers the item once with a new watcher, which may take its name before it answers
    def test_a_watcher_that_answers_late_gets_the_item(self):
        with PiruneSession(notices(LATER), host="xfce") as s:
            os.killpg(s.procs["panel"].pid, signal.SIGKILL)
            s.wait_for(lambda: not s.sni_items(), 5, "the panel's watcher gone")
            s.spawn("watcher", [A11Y_PYTHON, HERE + "/late_watcher.py"])
            s.wait_for(s.sni_items, 6, "the item registered with a watcher that answers late")


class UnderAWindowManager(unittest.TestCase):
    def test_typing_across_the_minute_leaves_the_message_and_the_window_returns_where_it_was(self):
        due = notices([("2026/12/07 09:05", "会議", "0")])
        with PiruneSession(data=due, fake_time="2026-12-07 09:04:48", wm=True) as s:
            main = s.open_main()
            s.xdotool(f"windowmove --sync {main.id} 100 100")
            s.xdotool(f"windowsize --sync {main.id} 700 420")
            moved = s.wait_window("Pirune")
            s.key("space", window=moved)  # on 閉じる, which has the focus
            s.wait_no_window("Pirune")
            again = s.open_main()
            s.check(again[2:6] == moved[2:6], f"reopened at {again[2:6]}, left at {moved[2:6]}")
            s.click(again, "message")  # the user types there across 09:05:00
            while time.time() < s.started + 14 and not s.program_windows("メッセージ"):
                s.xdotool("type --delay 40", "a ")
            s.xdotool("type --delay 40", "a " * 10)
            s.check(s.program_windows("メッセージ"), "a key typed elsewhere closed the message unseen")
            typed = s.copy_text(again, "message")
            s.check(typed.count("a ") >= 10, f"the keys went elsewhere: {typed!r}")


class ScreenReader(unittest.TestCase):
    def test_named_controls_a_notice_added_through_the_bus_and_enter_on_buttons(self):
        missed, added = ("2020/01/06 09:00", "過ぎた通知", "0"), ("2099/12/15 09:30", "読み上げ", "0")
        with PiruneSession(data=notices([missed]), a11y=True) as s:
            s.a11y_events()  # listening from here on
            s.answer("確認", "Return", QUIET)  # Yes: the message window opens
            told = ["object:state-changed:showing", "notification", "メッセージ", missed[1]]
            s.wait_for(lambda: told in s.a11y_events(), 5, "the message told as it opens")
            s.x(s.folder + "/Pirune")
            s.key("shift+Tab", "shift+Tab", window=s.wait_window("Pirune"))  # 閉じる, date, list
            focus = lambda: [e[1:3] for e in s.a11y_events() if e[0] == "focus:"][-2:]  # noqa: E731
            line = [["list", "設定時刻 | 設定メッセージ"], ["list item", "2020/01/06 09:00|過ぎた通知"]]
            s.wait_for(lambda: focus() == line, 5, "the current line told after the list")
            s.key("Tab", "Tab", window=s.wait_window("Pirune"))  # back to 閉じる
            s.menu_command("v", opens="バージョン情報")
            button = lambda *captions: [["push button", c] for c in captions]  # noqa: E731
            windows = {
                "Pirune": [
                    ["list", "設定時刻 | 設定メッセージ"],
                    ["list item", "2020/01/06 09:00|過ぎた通知"],
                    ["spin button", "設定時刻：日付"],
                    ["text", "設定時刻：時刻"],
                    ["text", "設定メッセージ："],
                    *button("追加", "変更", "削除", "クリア", "閉じる"),
                ],
                "メッセージ": [["push button", "OK", "過ぎた通知"], ["text", "メッセージ"]],
                "バージョン情報": [["text", "バージョン情報"], *button("閉じる")],
            }
            read = json.loads(s.a11y())
            s.check(read == windows, f"a screen reader reads {read}")
            fields = ("設定時刻：日付=2099/12/15", "設定時刻：時刻=09:30", "設定メッセージ：=読み上げ")
            s.a11y(*fields, "追加")
            s.wait_data([shown(missed), added], 5, "the notice added through the bus")
            for title in ("メッセージ", "バージョン情報", "Pirune"):  # Enter on the focused OK, 閉じる
                s.answer(title, "Return", QUIET)


class OnSway(unittest.TestCase):
    # sway gives every new window the focus: what the user types on into the terminal as the
    # missed-notice question comes up goes to it instead, and must not answer it
    def test_keys_typed_on_answer_nothing_and_keys_work_after_a_pause(self):
        missed = ("2020/01/06 09:00", "朝会", "0")
        late = ("sh", "-c", 'sleep 1.5 && exec "$@"', "-")  # the user types before it starts
        with PiruneSession(notices([missed]), wrap=late, host="sway") as s:
            pairs = int(5 / 0.09)  # " n" with no pause, by one keyboard, as a user types
            s.spawn("typing", ["wtype", "-s", "300", "-d", "40", " n" * pairs])
            s.procs["typing"].wait()
            time.sleep(0.3)
            lost = 2 * pairs - len(pathlib.Path(s.root, "typed").read_text())
            s.check(20 <= lost < 2 * pairs, f"of {2 * pairs} keys, {lost} not to the terminal")
            s.answer("確認", "Return", QUIET)  # Yes, the default
            s.wait_data([shown(missed)], 3, "the notice shown")
            time.sleep(QUIET)
            s.key("Return")  # OK of the message, which has the focus
            s.wait_no_window("メッセージ")

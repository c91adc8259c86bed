"""Pirune on a real X display with a real tray host, driven through its icon, windows and keys.

Run with the built program's path in PIRUNE_EXE, e.g.
    PIRUNE_EXE=build/Pirune python3 -m unittest -v test_pirune_e2e
"""

import os
import signal
import subprocess
import time
import unittest

from pirune_e2e import MAIN, PiruneSession, missing_tools, notices_bytes

EXE = os.environ.get("PIRUNE_EXE", "")


def setUpModule():
    missing = missing_tools()
    if missing or not os.path.isfile(EXE):
        # ctest reads this marker as "skipped".
        print(f"E2E-SKIP: missing {', '.join(missing) or 'PIRUNE_EXE=' + repr(EXE)}", flush=True)
        raise unittest.SkipTest("end-to-end tools or program missing")


def session(test: unittest.TestCase, suffix="", **kw) -> PiruneSession:
    kw.setdefault("host", getattr(test, "host", "trayer"))
    return PiruneSession(EXE, test.id().split(".", 1)[1] + suffix, **kw)


def program_windows(s: PiruneSession):
    return [w for w in s.windows() if w.name not in ("panel", "xfce4-panel", "wrapper-2.0")]


def read_editor(s: PiruneSession, main):
    """(date, time, message) as the editor of the main window shows them."""
    return (s.copy_text(main, *MAIN["date"]), s.copy_text(main, *MAIN["time"]),
            s.copy_text(main, *MAIN["message"]))


def open_main(s: PiruneSession):
    """Double-clicks the icon and returns the main window, focused."""
    s.double_click_tray()
    main = s.wait_window("Pirune")
    s.focus(main)
    return main


def select_row(s: PiruneSession, main, row):
    s.focus(main)
    s.click_control(main, "list")
    if row:
        s.key(*["Down"] * row)
    time.sleep(0.2)


def set_date(s: PiruneSession, main, yyyymmdd):
    # Typing over the selected year moves on to the month and the day by itself.
    s.click_control(main, "date")
    s.key("Home", *["shift+Right"] * 4)
    s.type_text(yyyymmdd)


def set_time(s: PiruneSession, main, hhnn):
    s.click_control(main, "time")
    s.key("Home")
    s.type_text(hhnn)


def set_message(s: PiruneSession, main, lines):
    s.click_control(main, "message")
    s.key("ctrl+a", "Delete")
    for k, line in enumerate(lines):
        if k:
            s.key("Return")
        s.type_text(line)


THREE = [
    ("2026/12/07 08:00", "朝会の準備\\n資料を印刷", "1"),
    ("2026/12/24 10:00", "Xmas party", "0"),
    ("2027/01/05 09:00", "仕事始め", "0"),
]


class FirstStart(unittest.TestCase):
    def test_empty_folder_gets_an_empty_data_file_and_an_icon_only(self):
        with session(self, data=None) as s:
            s.check(s.tray_icon() is not None, "no tray icon")
            s.check(s.data_bytes() == b"", "Pirune.dat is missing or not empty")
            time.sleep(1.5)
            s.check(program_windows(s) == [], "start-up showed a window")
            s.check(s.program_running(), "the program ended")
            # An empty table: the double click still opens the window, with nothing to change.
            s.double_click_tray()
            s.wait_window("Pirune")
            s.check(s.data_bytes() == b"", "opening the window wrote the Data file")

    def test_second_start_in_the_same_folder_shows_the_first_ones_window(self):
        data = notices_bytes(THREE)
        with session(self, data=data) as s:
            second = subprocess.run(["./Pirune"], cwd=s.folder, env=s.env, timeout=15,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            s.check(second.returncode == 0, f"second start exited with {second.returncode}")
            s.wait_window("Pirune")
            s.check(s.program_running(), "the first program ended")
            s.check(len(s.tray_icons()) == 1, "not exactly one tray icon")
            s.check_data(data)


class MainWindow(unittest.TestCase):
    def test_double_click_shows_the_notices_and_close_hides_the_window(self):
        data = notices_bytes(THREE)
        with session(self, data=data) as s:
            s.double_click_tray()
            main = s.wait_window("Pirune")
            s.screenshot("main-window-three-notices", main)
            for row, (jikoku, mes, _flag) in enumerate(THREE):
                select_row(s, main, row)
                shown = read_editor(s, main)
                expected = (jikoku[:10], jikoku[11:], mes.replace("\\n", "\n"))
                s.check(shown == expected, f"row {row}: editor shows {shown!r}, expected {expected!r}")
            s.check_data(data, "looking at the notices changed the Data file")

            s.click_control(main, "close")
            s.wait_no_window("Pirune")
            s.check(s.tray_icon() is not None, "the icon went away with the window")
            s.check(s.program_running(), "closing the window ended the program")
            s.double_click_tray()
            s.wait_window("Pirune")

    def test_settings_menu_item_shows_the_window(self):
        with session(self, data=notices_bytes(THREE)) as s:
            s.menu_command("s")
            s.wait_window("Pirune")


class Editing(unittest.TestCase):
    def test_add_writes_the_new_notice_in_sorted_place(self):
        with session(self, data=notices_bytes(THREE)) as s:
            main = open_main(s)
            set_date(s, main, "20261215")
            set_time(s, main, "0930")
            set_message(s, main, ["line one", "line two"])
            s.click_control(main, "add")
            expected = notices_bytes(THREE[:1] + [("2026/12/15 09:30", "line one\\nline two", "0")] + THREE[1:])
            s.wait_for(lambda: s.data_bytes() != notices_bytes(THREE), 5, "the Data file to change")
            s.check_data(expected, "after 追加")
            s.check(program_windows(s) == s.find_windows("Pirune"), "an error box appeared")

    def test_change_moves_the_notice_and_makes_it_pending_again(self):
        with session(self, data=notices_bytes(THREE)) as s:
            main = open_main(s)
            select_row(s, main, 0)
            set_date(s, main, "20270201")
            set_message(s, main, ["moved"])
            s.click_control(main, "change")
            s.wait_for(lambda: s.data_bytes() != notices_bytes(THREE), 5, "the Data file to change")
            s.check_data(notices_bytes(THREE[1:] + [("2027/02/01 08:00", "moved", "0")]), "after 変更")

    def test_a_time_that_is_no_time_is_refused(self):
        data = notices_bytes(THREE)
        with session(self, data=data) as s:
            main = open_main(s)
            set_time(s, main, "2575")
            set_message(s, main, ["never"])
            s.click_control(main, "add")
            # The error box has the main window's title.
            boxes = s.wait_for(lambda: s.message_boxes(exclude=[main]), 5, "the error box over the main window")
            time.sleep(0.3)
            s.check_data(data, "追加 with the time 25:75")
            s.focus(boxes[0])
            s.key("Return")
            s.wait_for(lambda: s.find_windows("Pirune") == [main], 5, "the error box to close")
            s.check_data(data, "after the error box")

    def test_delete_asks_first_and_no_is_the_default(self):
        data = notices_bytes(THREE)
        with session(self, data=data) as s:
            main = open_main(s)
            select_row(s, main, 1)
            s.click_control(main, "delete")
            box = s.wait_window("確認")
            s.focus(box)
            s.key("Return")
            s.wait_no_window("確認")
            time.sleep(0.3)
            s.check_data(data, "Enter on the delete question (No is the default)")

            s.click_control(main, "delete")
            box = s.wait_window("確認")
            s.focus(box)
            s.key("y")
            s.wait_no_window("確認")
            s.wait_for(lambda: s.data_bytes() != data, 5, "the Data file to change")
            s.check_data(notices_bytes([THREE[0], THREE[2]]), "after deleting the second notice")


DUE = [
    ("2026/12/06 18:00", "昨日の分", "1"),
    ("2026/12/07 09:05", "会議\\n3F 第2会議室", "0"),
    ("2026/12/07 09:06", "next minute", "0"),
    ("2026/12/08 09:05", "tomorrow", "0"),
]


class DueNotice(unittest.TestCase):
    def test_message_window_at_the_minute_and_flag_set(self):
        data = notices_bytes(DUE)
        with session(self, data=data, fake_time="2026-12-07 09:04:55") as s:
            due = s.wall_time_of("2026-12-07 09:05:00")
            while time.time() < due - 0.3:
                s.check(not s.find_windows("メッセージ"), "a message window before 09:05:00")
                time.sleep(0.1)
            box = s.wait_window("メッセージ", timeout=3)
            late = time.time() - due
            s.check(-0.05 <= late <= 1.0, f"the message window came {late:+.2f}s from 09:05:00")
            s.check(len(s.find_windows("メッセージ")) == 1, "more than one message window")
            text = s.copy_text(box, 100, 50)
            s.check(text == "会議\n3F 第2会議室", f"message window shows {text!r}")
            expected = notices_bytes([DUE[0], (DUE[1][0], DUE[1][1], "1")] + DUE[2:])
            s.wait_for(lambda: s.data_bytes() == expected, 3, f"the Data file to become {expected!r}")

            s.click_in(box, box.width // 2, box.height - 24)  # OK
            s.wait_no_window("メッセージ")
            s.check(s.program_running(), "OK ended the program")
            s.check_data(expected, "after OK")

    def test_a_long_stop_across_the_minute_asks_about_the_notice(self):
        with session(self, data=notices_bytes(DUE), fake_time="2026-12-07 09:04:55") as s:
            time.sleep(s.wall_time_of("2026-12-07 09:04:58") - time.time())  # start-up is over
            os.killpg(s._procs["pirune"].pid, signal.SIGSTOP)  # the harness ends it even so
            time.sleep(s.wall_time_of("2026-12-07 09:05:08") - time.time())
            os.killpg(s._procs["pirune"].pid, signal.SIGCONT)
            s.wait_window("確認")
            s.check(not s.find_windows("メッセージ"), "a message window without the question")

    def test_a_notice_added_in_the_window_comes_at_its_minute(self):
        with session(self, data=notices_bytes(DUE[:1]), fake_time="2026-12-07 09:04:50") as s:
            main = open_main(s)
            set_date(s, main, "20261207")
            set_time(s, main, "0905")
            set_message(s, main, ["from the window"])
            s.click_control(main, "add")
            added = notices_bytes(DUE[:1] + [("2026/12/07 09:05", "from the window", "0")])
            s.wait_for(lambda: s.data_bytes() == added, 3, f"the Data file to become {added!r}")
            due = s.wall_time_of("2026-12-07 09:05:00")
            s.check(time.time() < due - 0.2, "typing took too long")
            box = s.wait_window("メッセージ", timeout=due + 2 - time.time())
            late = time.time() - due
            s.check(-0.05 <= late <= 1.0, f"the message window came {late:+.2f}s from 09:05:00")
            text = s.copy_text(box, 100, 50)
            s.check(text == "from the window", f"message window shows {text!r}")
            expected = notices_bytes(DUE[:1] + [("2026/12/07 09:05", "from the window", "1")])
            s.wait_for(lambda: s.data_bytes() == expected, 3, f"the Data file to become {expected!r}")


MISSED = [
    ("2026/12/07 08:30", "朝会の準備\\n議事録", "0"),
    ("2026/12/07 07:00", "already shown", "1"),
    ("2026/12/07 18:00", "this evening", "0"),
]


class MissedNotice(unittest.TestCase):
    def start(self, **kw):
        return session(self, data=notices_bytes(MISSED), fake_time="2026-12-07 09:04:10", **kw)

    def test_yes_shows_the_message_and_sets_the_flag(self):
        with self.start() as s:
            box = s.wait_window("確認")
            s.check(not s.find_windows("メッセージ"), "message shown before the answer")
            s.focus(box)
            s.key("Return")
            message = s.wait_window("メッセージ")
            text = s.copy_text(message, 100, 50)
            s.check(text == "朝会の準備\n議事録", f"message window shows {text!r}")
            s.check(len(s.find_windows("メッセージ")) == 1, "more than one message window")
            expected = notices_bytes([(MISSED[0][0], MISSED[0][1], "1")] + MISSED[1:])
            s.wait_for(lambda: s.data_bytes() == expected, 3, f"the Data file to become {expected!r}")
            s.check(not s.find_windows("確認"), "asked again")

    def check_refused(self, key):
        with self.start() as s:
            box = s.wait_window("確認")
            s.focus(box)
            s.key(key)
            s.wait_no_window("確認")
            time.sleep(1.5)
            s.check(not s.find_windows("メッセージ"), f"{key} still showed the message")
            s.check(not s.find_windows("確認"), "asked again")
            s.check_data(notices_bytes(MISSED), f"{key} on the question")
            s.check(s.program_running(), "the program ended")

    def test_no_leaves_the_file_alone(self):
        self.check_refused("n")

    def test_escape_leaves_the_file_alone(self):
        self.check_refused("Escape")


class TrayMenu(unittest.TestCase):
    def test_version_window(self):
        with session(self, data=notices_bytes(THREE)) as s:
            s.menu_command("v")
            win = s.wait_window("バージョン情報")
            text = s.copy_text(win, 40, 20)
            s.check(text == "Pirune(簡易スケジューラー)\nVersion 2.5.25", f"version window shows {text!r}")
            s.click_in(win, 296 + 28, 120 + 12)  # 閉じる
            s.wait_no_window("バージョン情報")
            s.check(s.program_running(), "closing the version window ended the program")

    def test_the_window_closed_last_ends_the_program_whichever_it_is(self):
        with session(self, data=notices_bytes(THREE)) as s:
            s.menu_command("v")
            version = s.wait_window("バージョン情報")
            s.close_window(open_main(s))
            s.wait_no_window("Pirune")
            # From then on a new start is a Pirune of its own, with its icon and its reminders.
            second = s._spawn("second", ["./Pirune"], cwd=s.folder)
            s.wait_tray_icon()
            s.check(second.poll() is None, f"the new start ended with {second.poll()}")
            s.check(s.program_running(), "the program ended with the version window open")
            s.close_window(version)
            s.check(s.wait_program_exit(5) == 0, "the program outlived its last window")

    def test_exit_ends_at_once_with_windows_open(self):
        with session(self, data=notices_bytes(MISSED), fake_time="2026-12-07 19:00:10") as s:
            box = s.wait_window("確認")
            s.focus(box)
            s.key("Return")
            s.wait_for(lambda: len(s.find_windows("メッセージ")) == 2, 5, "two message windows")
            expected = notices_bytes([(j, m, "1") for j, m, _ in MISSED])
            s.wait_for(lambda: s.data_bytes() == expected, 3, "the flags to be written")
            s.menu_command("v")
            s.wait_window("バージョン情報")
            s.double_click_tray()
            s.wait_window("Pirune")
            s.screenshot(s.name + "-before-exit")

            s.menu_command("x")
            code = s.wait_program_exit(5)
            s.check(code is not None, "the program is still running 5 s after 終了")
            s.check(code == 0, f"the program exited with {code}")
            s.check(not s.find_windows("確認"), "終了 asked a question")
            s.check(program_windows(s) == [], "windows left after the exit")
            s.check(s.tray_icon() is None, "the icon stayed after the exit")
            s.check_data(expected, "after 終了")


class OnXfcePanel(TrayMenu):
    """The tray cases on a panel that hosts StatusNotifierItems, where each click is an Activate call."""
    host = "xfce"

    def test_icon_tooltip_and_clicks(self):
        with session(self) as s:
            items = s.sni_items()
            s.check(len(items) == 1, f"registered items: {items}")
            service, path = items[0].split("/", 1)
            tip = s.dbus_property(service, "/" + path, "org.kde.StatusNotifierItem", "ToolTip")
            s.check('"Pirune"' in tip, f"tooltip {tip!r}")
            s.click(*s.tray_icon_position())
            time.sleep(1.5)
            s.check(program_windows(s) == [], "a single click opened a window")
            s.menu_command("s")
            s.click_control(s.wait_window("Pirune"), "close")
            s.wait_no_window("Pirune")
            s.double_click_tray()
            s.wait_window("Pirune")


class NoNotificationAreaAtStart(unittest.TestCase):
    def test_panels_started_10_s_late_get_the_icon_and_weston_gets_the_window(self):
        flagged = notices_bytes([(DUE[1][0], DUE[1][1], "1")])
        with session(self, "-xfce", host="xfce", late_host=True) as sni, session(self, late_host=True) as xembed, \
                session(self, "-weston", host="weston", data=notices_bytes(DUE[1:2]),
                        fake_time="2026-12-07 09:04:57") as wl:
            shown = lambda title: f'set_title("{title}")' in wl.program_log()  # noqa: E731
            wl.wait_for(lambda: shown("メッセージ") and wl.data_bytes() == flagged, 10, "the message and its flag")
            time.sleep(max(0.0, sni.started_at + 10 - time.monotonic()))
            for s in (xembed, sni):
                s.start_host()
                s.wait_tray_icon(timeout=2)
            time.sleep(max(0.0, wl.started_at + 28 - time.monotonic()))
            wl.check(not shown("Pirune"), "the main window opened before the wait was over")
            # Past the time the window opens for want of a notification area.
            wl.wait_for(lambda: shown("Pirune"), 5, "the main window")
            for s in (xembed, sni):
                s.check(program_windows(s) == [] and len(s.tray_icons()) == 1, "not just the one icon")


class HiDpi(unittest.TestCase):
    def test_window_scales_and_the_header_stays_over_the_list(self):
        for dpi in (96, 144, 192):
            f = dpi / 96
            with self.subTest(dpi=dpi), session(self, f"-{dpi}", screen="1920x1080x24", dpi=dpi,
                                                data=notices_bytes([("2026/12/24 10:00", "ooo", "0")])) as s:
                main = open_main(s)
                s.check(abs(main.width - 609 * f) < 2 and abs(main.height - 327 * f) < 2, f"size {main}")
                with open(s.screenshot("", main, os.path.join(s.folder, "main.ppm")), "rb") as ppm:
                    pix = ppm.read()[-3 * main.width * main.height:]

                def tallest_stroke(top):
                    rows = [3 * y * main.width for y in range(int(top * f), int((top + 14) * f))]
                    return max(range(int(20 * f), int(400 * f)),
                               key=lambda x: sum(sum(pix[r + 3 * x:r + 3 * x + 3]) < 200 for r in rows))

                # The header's "|" and the first line's "|" are the tallest strokes of their strips.
                header, line = tallest_stroke(9), tallest_stroke(25)
                s.check(abs(header - line) <= 1, f"the header's | at x={header}, the line's at x={line}")


if __name__ == "__main__":
    unittest.main()

"""Pirune's user journeys, one case each, on real displays and notification areas."""
import os, signal, subprocess, time, unittest

from pirune_e2e import MAIN, THREE, PiruneSession, notices, skip_without_tools

MISSED = [("2026/12/07 08:30", "朝会の準備\\n議事録", "0"), ("2026/12/07 07:00", "already shown", "1"),
          ("2026/12/07 18:00", "this evening", "0")]


def setUpModule():
    skip_without_tools()


def session(test, suffix="", **kw):
    kw.setdefault("host", getattr(test, "host", "trayer"))
    return PiruneSession(test.id().split(".", 1)[1] + suffix, **kw)


def answer(s, title, key):
    s.focus(s.wait_window(title))
    s.key(key)
    s.wait_no_window(title)


class FirstStart(unittest.TestCase):
    def test_icon_only_then_a_second_start_shows_the_window(self):
        with session(self, data=None) as s:
            s.check(s.data_bytes() == b"", "Pirune.dat is missing or not empty")
            time.sleep(1.5)
            s.check(s.program_windows() == [], "start-up showed a window")
            second = subprocess.run(["./Pirune"], cwd=s.folder, env=s.env, timeout=15, capture_output=True)
            s.check(second.returncode == 0, f"the second start exited with {second.returncode}")
            s.wait_window("Pirune")
            s.check(s.program_running(), "the first program ended")
            s.check_data(b"")


class OpenAndEdit(unittest.TestCase):
    def test_read_add_delete_and_close(self):
        with session(self, data=notices(THREE)) as s:
            s.click_tray(repeat=2)
            main = s.wait_window("Pirune")
            s.focus(main)
            s.click_control(main, "list")
            s.key("Down")
            shown = [s.copy_text(main, *MAIN[c]) for c in ("date", "time", "message")]
            s.check(shown == ["2026/12/24", "10:00", "Xmas party"], f"the editor shows {shown}")
            # Typing over the year moves on to the month and the day.
            for control, keys, text in (("date", ["Home"] + ["shift+Right"] * 4, "20261215"), ("time", ["Home"], "0930"),
                                        ("message", ["ctrl+a", "Delete"], "line one"), ("message", ["End", "Return"], "line two")):
                s.click_control(main, control)
                s.key(*keys)
                s.type_text(text)
            s.click_control(main, "add")
            added = notices(THREE[:1] + [("2026/12/15 09:30", "line one\\nline two", "0")] + THREE[1:])
            s.wait_for(lambda: s.data_bytes() == added, 5, "the added notice in the Data file")
            s.click_control(main, "delete")
            answer(s, "確認", "Return")  # No is the default
            s.click_control(main, "delete")
            answer(s, "確認", "y")
            s.wait_for(lambda: s.data_bytes() == notices(THREE), 5, "the added notice deleted")
            s.click_control(main, "close")
            s.wait_no_window("Pirune")
            s.check(s.program_running() and s.tray_icon(), "closing the window ended the program or took the icon")


class DueNotice(unittest.TestCase):
    def test_message_window_at_the_minute(self):
        rows = [("2026/12/07 09:05", "会議\\n3F 第2会議室", "0"), ("2026/12/08 09:05", "tomorrow", "0")]
        with session(self, data=notices(rows), fake_time="2026-12-07 09:04:55") as s:
            due = s.wall_time_of("2026-12-07 09:05:00")
            box = s.wait_window("メッセージ", timeout=due + 3 - time.time())
            s.check(-0.05 <= time.time() - due <= 1.0, f"the message window came {time.time() - due:+.2f}s from 09:05:00")
            s.check(s.copy_text(box, 100, 50) == "会議\n3F 第2会議室", "the message window's text")
            shown = notices([rows[0][:2] + ("1",), rows[1]])
            s.wait_for(lambda: s.data_bytes() == shown, 3, "the flag in the Data file")
            s.click_in(box, box.width // 2, box.height - 24)  # OK
            s.wait_no_window("メッセージ")
            s.check(s.program_running() and len(s.find_windows("メッセージ")) == 0, "OK ended the program")


    def test_a_long_stop_across_the_minute_asks_about_the_notice(self):
        with session(self, data=notices([("2026/12/07 09:05", "stopped", "0")]), fake_time="2026-12-07 09:04:55") as s:
            time.sleep(s.wall_time_of("2026-12-07 09:04:58") - time.time())  # start-up is over
            os.killpg(s.procs["pirune"].pid, signal.SIGSTOP)  # the session ends it even so
            time.sleep(s.wall_time_of("2026-12-07 09:05:08") - time.time())
            os.killpg(s.procs["pirune"].pid, signal.SIGCONT)
            s.wait_window("確認")
            s.check(not s.find_windows("メッセージ"), "a message window without the question")


class MissedNotice(unittest.TestCase):
    def test_yes_shows_the_missed_message(self):
        with session(self, data=notices(MISSED), fake_time="2026-12-07 09:04:10") as s:
            s.wait_window("確認")
            s.check(not s.find_windows("メッセージ"), "a message before the answer")
            answer(s, "確認", "Return")  # Yes is the default
            text = s.copy_text(s.wait_window("メッセージ"), 100, 50)
            s.check(text == "朝会の準備\n議事録", f"the message window shows {text!r}")
            s.wait_for(lambda: s.data_bytes() == notices([MISSED[0][:2] + ("1",)] + MISSED[1:]), 3, "the flag")
            s.check(len(s.find_windows("メッセージ")) == 1 and not s.find_windows("確認"), "asked or shown twice")


class TrayMenu(unittest.TestCase):
    def test_the_window_closed_last_ends_the_program_whichever_it_is(self):
        with session(self, data=notices(THREE)) as s:
            s.menu_command("v")
            version = s.wait_window("バージョン情報")
            s.click_tray(repeat=2)
            s.close_window(s.wait_window("Pirune"))
            s.wait_no_window("Pirune")
            second = s.spawn("second", ["./Pirune"], cwd=s.folder)  # now a Pirune of its own
            s.wait_for(s.tray_icon, 5, "the new start's icon")
            s.check(second.poll() is None and s.program_running(), "a start ended, or the first with a window open")
            s.close_window(version)
            s.check(s.procs["pirune"].wait(5) == 0, "the program outlived its last window")

    def test_version_settings_and_exit_with_windows_open(self):
        with session(self, data=notices(MISSED), fake_time="2026-12-07 19:00:10") as s:
            answer(s, "確認", "Return")
            shown = notices([(j, m, "1") for j, m, _ in MISSED])
            s.wait_for(lambda: len(s.find_windows("メッセージ")) == 2 and s.data_bytes() == shown, 5, "two messages")
            s.menu_command("v")
            text = s.copy_text(s.wait_window("バージョン情報"), 40, 20)
            s.check(text == "Pirune(簡易スケジューラー)\nVersion 2.5.25", f"the version window shows {text!r}")
            s.menu_command("s")
            s.wait_window("Pirune")
            s.menu_command("x")
            s.check(s.procs["pirune"].wait(5) == 0, "終了 did not end the program with code 0")
            s.check(s.program_windows() == [] and not s.tray_icon(), "windows or the icon left after 終了")
            s.check_data(shown)


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
            s.click_tray()
            time.sleep(1.5)
            s.check(s.program_windows() == [], "a single click opened a window")
            s.menu_command("s")
            s.click_control(s.wait_window("Pirune"), "close")
            s.wait_no_window("Pirune")
            s.click_tray(repeat=2)
            s.wait_window("Pirune")


class NoNotificationAreaAtStart(unittest.TestCase):
    def test_panels_started_10_s_late_get_the_icon_and_weston_gets_the_window(self):
        due = [("2026/12/07 09:05", "会議", "0")]
        with session(self, "-xfce", host="xfce", late_host=True) as sni, session(self, late_host=True) as xembed, \
                session(self, "-weston", host="weston", data=notices(due), fake_time="2026-12-07 09:04:57") as wl:
            shown = lambda title: f'set_title("{title}")' in wl.log("pirune")  # noqa: E731
            flagged = notices([due[0][:2] + ("1",)])
            wl.wait_for(lambda: shown("メッセージ") and wl.data_bytes() == flagged, 10, "the message and its flag")
            time.sleep(max(0.0, sni.started + 10 - time.time()))
            for s in (xembed, sni):
                s.start_host()
                s.wait_for(s.tray_icon, 2, "the icon in a panel started late")
            time.sleep(max(0.0, wl.started + 28 - time.time()))
            wl.check(not shown("Pirune"), "the main window opened before the wait was over")
            wl.wait_for(lambda: shown("Pirune"), 5, "the main window, for want of a notification area")
            for s in (xembed, sni):
                s.check(s.program_windows() == [] and len(s.tray_icons()) == 1, "not just the one icon")


class HiDpi(unittest.TestCase):
    def test_window_scales_and_the_header_stays_over_the_list(self):
        for dpi in (96, 144, 192):
            f = dpi / 96
            with self.subTest(dpi=dpi), session(self, f"-{dpi}", screen="1920x1080x24", dpi=dpi,
                                                data=notices([("2026/12/24 10:00", "ooo", "0")])) as s:
                s.click_tray(repeat=2)
                main = s.wait_window("Pirune")
                s.check(abs(main.width - 609 * f) < 2 and abs(main.height - 327 * f) < 2, f"size {main}")
                ppm = os.path.join(s.folder, "main.ppm")
                s.x("import", "-window", hex(main.id), "-depth", "8", ppm)
                with open(ppm, "rb") as image:
                    pix = image.read()[-3 * main.width * main.height:]

                def tallest_stroke(top):  # the "|" of the header and of the first line are the tallest
                    rows = [3 * y * main.width for y in range(int(top * f), int((top + 14) * f))]
                    return max(range(int(20 * f), int(400 * f)),
                               key=lambda x: sum(sum(pix[r + 3 * x:r + 3 * x + 3]) < 200 for r in rows))

                header, line = tallest_stroke(9), tallest_stroke(25)
                s.check(abs(header - line) <= 1, f"the header's | at x={header}, the line's at x={line}")

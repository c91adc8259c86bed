"""Pirune's user journeys on a real X display with a real tray host, one case each.

    PIRUNE_EXE=build/Pirune python3 -m unittest -v test_pirune_e2e
"""
import subprocess
import time
import unittest

from pirune_e2e import MAIN, THREE, PiruneSession, notices, skip_without_tools

MISSED = [("2026/12/07 08:30", "朝会の準備\\n議事録", "0"), ("2026/12/07 07:00", "already shown", "1"),
          ("2026/12/07 18:00", "this evening", "0")]


def setUpModule():
    skip_without_tools()


def session(test, **kw):
    return PiruneSession(test.id().split(".", 1)[1], **kw)


def answer(s, title, key):
    s.focus(s.wait_window(title))
    s.key(key)
    s.wait_no_window(title)


class FirstStart(unittest.TestCase):
    def test_icon_only_then_a_second_start_shows_the_window(self):
        with session(self, data=None) as s:
            s.check(s.data_bytes() == b"", "Pirune.dat is missing or not empty")
            time.sleep(1.5)
            s.check(s.windows() == s.find_windows("panel"), "start-up showed a window")
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
            s.click_control(main, "date")
            s.key("Home", *["shift+Right"] * 4)
            s.type_text("20261215")  # typing over the year moves on to the month and the day
            s.click_control(main, "time")
            s.key("Home")
            s.type_text("0930")
            s.click_control(main, "message")
            s.key("ctrl+a", "Delete")
            s.type_text("line one")
            s.key("Return")
            s.type_text("line two")
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
            s.check(s.windows() == s.find_windows("panel") and not s.tray_icon(), "windows or the icon left after 終了")
            s.check_data(shown)

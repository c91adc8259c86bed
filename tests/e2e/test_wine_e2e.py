import pathlib, subprocess, time, unittest

from pirune_e2e import LATER, MAIN, QUIET, PiruneSession, notices, setUpModule  # noqa
from test_pirune_e2e import menu_and_exit, shown

MESSAGE = "会議\n3F 第2会議室"  # pasted: xdotool types no Japanese into Wine


class OnWindowsUnderWine(unittest.TestCase):
    # Pirune.exe on its real clock: a notice added for a coming minute is shown at that minute
    def test_a_notice_added_in_the_window_is_saved_shown_and_flagged(self):
        if (left := -time.time() % 86400) < 150:  # the date field holds the day the program started
            time.sleep(left + 1)
        with PiruneSession(data=notices(LATER), windows=True) as s:
            pathlib.Path(s.root, "paste").write_text(MESSAGE)
            s.spawn("clip", ["xclip", "-quiet", "-selection", "clipboard", s.root + "/paste"])
            main = s.open_main()
            due = (int(time.time()) + 25) // 60 * 60 + 60  # typing well clear of the minute
            when = time.strftime("%Y/%m/%d %H:%M", time.gmtime(due))
            time.sleep(QUIET)  # focus on 閉じる; Tab: time, message, 追加
            s.key("Tab", *when[11:].replace(":", ""), "Tab", "ctrl+v", "Tab", "space", window=main)
            added = [(when, MESSAGE.replace("\n", "\\n"), "0"), *LATER]
            s.wait_data(added, 5, "the notice added, before the later one")
            s.wait_window("メッセージ", timeout=due + 10 - time.time())
            s.check(time.time() >= due, "the message came before its minute")
            flagged = [shown(added[0]), *LATER]
            s.wait_data(flagged, 3, "the flag of the notice shown")
            s.click(s.wait_window("Pirune"), MAIN["close"])
            s.wait_no_window("Pirune")
            again = subprocess.run(["wine", "Pirune.exe"], cwd=s.folder, env=s.env, timeout=30)
            s.check(again.returncode == 0, "a second start did not hand over to the first")
            s.wait_window("Pirune")
            menu_and_exit(s, flagged)

"""The real program when its Data file cannot be read or written: an error box, the program runs on,
the last good file stays and nothing else is left beside it."""
import os, shutil, sys, tempfile, time, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pirune_e2e import PiruneSession, notices, skip_without_tools  # noqa: E402

ROOT = os.geteuid() == 0
# As root, whom file modes do not stop, the program runs as nobody.
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"] if ROOT else []
DUE = notices([("2026/12/07 09:05", "締め切り", "0"), ("2027/01/05 09:00", "仕事始め", "0")])  # due at 09:05:00
BIG = DUE + notices([("2099/01/01 00:00", f"いつか {k} " + "x" * 40, "0") for k in range(5000)])


def setUpModule():
    skip_without_tools()


def shared(folder, mode=0o755):
    os.chmod(os.path.dirname(folder), 0o755)  # the session's folders are private to their maker
    os.chmod(folder, mode)


def not_writable(folder):
    shared(folder, 0o755 if ROOT else 0o555)
    if ROOT:  # the folder stays root's
        os.chown(os.path.join(folder, "Pirune.dat"), 65534, 65534)


CASES = {  # data, prepare(folder), the command the program starts behind, whether the box comes at a save
    "Data file is a folder": (None, lambda f: os.makedirs(os.path.join(f, "Pirune.dat", "inside")), (), False),
    "unreadable": (DUE, lambda f: (shared(f), os.chmod(os.path.join(f, "Pirune.dat"), 0)), NOBODY, False),
    "folder not writable": (DUE, not_writable, NOBODY, True),
    "file size limit": (BIG, None, ["bash", "-c", 'ulimit -f 100 && exec "$@"', "bash"], True),
}


class FailurePaths(unittest.TestCase):
    def test_an_error_box_and_the_last_good_file_stays(self):
        for case, (data, prepare, wrap, saving) in CASES.items():
            with self.subTest(case), PiruneSession(data, "2026-12-07 09:04:57", prepare, wrap) as s:
                if saving:  # at the save of the flag of the notice due at once
                    s.wait_window("メッセージ", timeout=8)
                s.answer("Pirune", "Return")  # the box: the main window stays hidden
                time.sleep(max(0.0, s.started + 4 - time.time()))  # 09:05:01
                s.check(s.running(), "the program ended")
                s.check(saving or not s.program_windows("メッセージ"), "a notice of an unread file was shown")
                os.chmod(s.folder, 0o755)
                os.chmod(s.data_path, 0o755)
                s.check(s.data_bytes() == data, "the last good Data file changed")
                s.check(sorted(os.listdir(s.folder)) == ["Pirune", "Pirune.dat"], "files were left in the folder")
                s.check(data or os.listdir(s.data_path) == ["inside"], "the folder was changed")
            # Started as nobody, whose runtime folder is not theirs, it locks in a folder of its own.
            shutil.rmtree(os.path.join(tempfile.gettempdir(), "pirune-65534"), ignore_errors=True)

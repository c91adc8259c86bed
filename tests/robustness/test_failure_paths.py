"""The real program when its Data file cannot be read or written: an error box, the program runs on,
the last good file stays. As root, which file modes do not stop, the program runs as nobody."""
import os, shutil, sys, tempfile, time, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pirune_e2e import PiruneSession, notices, skip_without_tools  # noqa: E402

ROOT = os.geteuid() == 0
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"] if ROOT else []
DUE = notices([("2026/12/07 09:05", "締め切り", "0"), ("2027/01/05 09:00", "仕事始め", "0")])  # due at 09:05:00


def setUpModule():
    skip_without_tools()


def shared(folder, mode=0o755):
    os.chmod(os.path.dirname(folder), 0o755)  # the session's folders are private to their maker
    os.chmod(folder, mode)


class FailurePaths(unittest.TestCase):
    def error_box(self, data, prepare=None, wrap=(), saving=False):
        """Starts the program just before a notice falls due: an error box at start-up or, when
        saving, at the save after the message window; the program runs on. Returns the session."""
        s = PiruneSession(self.id().rsplit(".", 1)[1], data=data, prepare=prepare, wrap=wrap,
                          fake_time="2026-12-07 09:04:57").__enter__()
        self.addCleanup(s.__exit__, None)
        # Started as nobody, whose runtime folder is not theirs, it locks in a folder of its own.
        self.addCleanup(shutil.rmtree, os.path.join(tempfile.gettempdir(), "pirune-65534"), True)
        if saving:
            s.wait_window("メッセージ", timeout=8)
        s.focus(s.wait_window("Pirune"))  # the box: the main window stays hidden
        s.key("Return")
        s.wait_no_window("Pirune")
        time.sleep(max(0.0, s.wall_time_of("2026-12-07 09:05:01") - time.time()))
        s.check(s.program_running(), "the program ended")
        return s

    def test_data_file_is_a_folder(self):
        s = self.error_box(None, prepare=lambda f: os.makedirs(os.path.join(f, "Pirune.dat", "inside")))
        s.check(os.listdir(s.data_path) == ["inside"], "the folder was changed")

    def test_unreadable_data_file(self):
        s = self.error_box(DUE, wrap=NOBODY, prepare=lambda f: (shared(f), os.chmod(os.path.join(f, "Pirune.dat"), 0)))
        s.check(not s.find_windows("メッセージ"), "a notice of the unread file was shown")
        os.chmod(s.data_path, 0o644)
        s.check_data(DUE)

    def test_folder_not_writable(self):
        prepare = (lambda f: (shared(f), os.chown(os.path.join(f, "Pirune.dat"), 65534, 65534))) if ROOT else \
            (lambda f: shared(f, 0o555))
        s = self.error_box(DUE, wrap=NOBODY, prepare=prepare, saving=True)
        os.chmod(s.folder, 0o755)
        s.check_data(DUE)
        s.check(sorted(os.listdir(s.folder)) == ["Pirune", "Pirune.dat"], "files were left in the folder")

    def test_file_size_limit_during_save(self):
        big = DUE + notices([("2099/01/01 00:00", f"いつか {k} " + "x" * 40, "0") for k in range(5000)])
        s = self.error_box(big, wrap=["bash", "-c", 'ulimit -f 100 && exec "$@"', "bash"], saving=True)
        s.check_data(big)

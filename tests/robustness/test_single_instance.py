# One Data file, one running Pirune (the real program, offscreen), by whichever path or account it
# is reached.
import os, pathlib, re, shutil, subprocess, tempfile, time, unittest
from subprocess import DEVNULL, PIPE

EXE = os.environ["PIRUNE_EXE"]
# file modes do not stop root: the program then runs as nobody
NOBODY = (
    "setpriv --reuid=65534 --regid=65534 --clear-groups --".split() if os.geteuid() == 0 else []
)
# what a start says where it locks the Data file instead
IN_PLACE = "ロックファイル {}/Pirune.dat.lock が通常のファイルではありません。\n代わりにデータファイルをロックして続けます。"
# nothing falls due, so nothing but a fault writes it
DATA = "2099/12/31 23:59\tテスト\t0\r\n".encode()


def until(probe, seconds):  # whether probe() came true within the time
    deadline = time.time() + seconds
    while not probe() and time.time() < deadline:
        time.sleep(0.025)
    return probe()


class SingleInstance(unittest.TestCase):
    def setUp(self):
        # for the sockets; a program folder
        self.runtime, self.f = self.folder(program=False), self.folder()

    # a runtime folder stands for another account's, or another session's
    def folder(self, program=True, prefix="pirune-si-", owner=None):
        path = tempfile.mkdtemp(prefix=prefix)
        self.addCleanup(shutil.rmtree, path, True)
        if owner is not None:
            os.chown(path, owner, owner)
        if program:
            shutil.copy2(EXE, os.path.join(path, "Pirune"))
            data = pathlib.Path(path, "Pirune.dat")
            data.write_bytes(DATA)
            self.addCleanup(lambda: self.assertEqual(data.read_bytes(), DATA, "Data file written"))
        return path

    # with wait, until it holds a lock and has read the Data file
    def start(self, folder, wait=True, runtime=None, wrap=()):
        env = {**os.environ, "QT_QPA_PLATFORM": "offscreen"}
        env["XDG_RUNTIME_DIR"] = runtime or self.runtime
        p = subprocess.Popen(
            [*wrap, os.path.join(folder, "Pirune")], env=env, stdout=DEVNULL, stderr=PIPE, text=True
        )
        self.addCleanup(lambda: p.kill() or p.communicate(timeout=10))
        if wait:
            self.assertTrue(until(lambda: self.holds(p), 9), "it never took the lock")
            time.sleep(0.3)
            self.assertIsNone(p.poll(), "it ended after taking the lock")
        return p

    # a lock of p's, on the file at path when given
    def holds(self, p, path=None):
        if path and not os.path.exists(path):
            return False
        inode = os.stat(path).st_ino if path else "[0-9]+"
        lock = rf"FLOCK +ADVISORY +WRITE +{p.pid} +[0-9a-f]+:[0-9a-f]+:{inode} "
        return re.search(lock, pathlib.Path("/proc/locks").read_text()) is not None

    # one that cannot reach the running one, as another account's start, says the file is in use
    # (where no one sees a box, on standard error) and ends without running
    def assert_kept_out(self, folder, wrap=(), owner=None):
        other = self.start(folder, wait=False, runtime=self.folder(False, owner=owner), wrap=wrap)
        told = "データファイルは別の Pirune が使用中です。" in other.communicate(timeout=10)[1]
        self.assertEqual((other.returncode, told), (1, True), "it ran beside, or said nothing")

    # a further start passes on to the running one and ends
    def assert_hands_over(self, folder, running, message, wrap=()):
        self.assertEqual(self.start(folder, wait=False, wrap=wrap).wait(10), 0, message)
        self.assertIsNone(running.poll())

    def test_one_instance_per_folder(self):
        killed = self.start(self.f)
        killed.kill()
        killed.wait()
        for name in ("Pirune.dat.save-x1Y2z3", "Pirune.dat.backup"):  # a killed save's, the user's
            pathlib.Path(self.f, name).write_bytes(DATA)
        first = self.start(self.f)  # the killed one's lock did not lock it out
        left = sorted(n for n in os.listdir(self.f) if n.startswith("Pirune.dat."))
        self.assertEqual(left, ["Pirune.dat.backup", "Pirune.dat.lock"], "temporary files left")
        self.start(self.folder())
        self.assert_hands_over(self.f, first, "a further start did not hand over")
        bound = self.folder(program=False)  # the same folder at another path
        mount = ("unshare", "-rm", "sh", "-c", 'mount --bind "$1" "$2" && exec "$2/Pirune"', "sh")
        self.assert_hands_over(bound, first, "no handover by a bind mount", (*mount, self.f, bound))

    def test_simultaneous_starts_leave_one_running(self):
        folders = (self.f, self.folder(), self.folder())
        pairs = [(self.start(f, wait=False), self.start(f, wait=False)) for f in folders]
        until(lambda: all(a.poll() is not None or b.poll() is not None for a, b in pairs), 10)
        time.sleep(0.3)
        for a, b in pairs:
            self.assertEqual({a.poll(), b.poll()}, {0, None}, "not one handed over and one ran on")

    def test_lock_file_removed_or_replaced_is_locked_again(self):
        lock = os.path.join(self.f, "Pirune.dat.lock")
        first = self.start(self.f)
        for change in (os.remove, lambda p: os.rename(shutil.copy(p, p + "~"), p)):
            change(lock)
            self.assertTrue(until(lambda: self.holds(first, lock), 2), "the new lock not locked")
            self.assert_kept_out(self.f)
        self.assert_hands_over(self.f, first, "a further start did not hand over")

    def test_what_keeps_out_less_is_said_and_it_runs_on(self):
        unreachable = "あとから起動した Pirune が、動いているこの Pirune に連絡できません。"
        cases = {  # make(folder) -> the runtime folder
            "link": (IN_PLACE, lambda f: os.symlink("/nowhere", f + "/Pirune.dat.lock")),
            "folder": (IN_PLACE, lambda f: os.mkdir(f + "/Pirune.dat.lock")),
            "socket name too long": (unreachable, lambda f: self.folder(False, "x" * 100)),
        }
        for case, (text, make) in cases.items():
            with self.subTest(case):
                f = self.folder()
                p = self.start(f, runtime=make(f))
                if text == IN_PLACE:
                    self.assertTrue(self.holds(p, f + "/Pirune.dat"), "the Data file not locked")
                    self.assert_kept_out(f)
                self.assertIsNone(p.poll(), "it ended")
                p.kill()
                self.assertIn(text.format(f), p.communicate(timeout=10)[1])

    def test_read_only_folder_locks_the_data_file(self):
        os.chmod(self.f, 0o555)
        self.addCleanup(os.chmod, self.f, 0o755)
        nobody = 65534 if NOBODY else None
        first = self.start(self.f, runtime=self.folder(False, owner=nobody), wrap=NOBODY)
        self.assertTrue(self.holds(first, self.f + "/Pirune.dat"), "the Data file not locked")
        self.assertFalse(os.path.exists(self.f + "/Pirune.dat.lock"))
        self.assert_kept_out(self.f, NOBODY, nobody)

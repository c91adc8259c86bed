# One Data file, one running Pirune (the real program, offscreen), by whichever path or account it
# is reached.
import os, pathlib, re, shutil, subprocess, tempfile, time, unittest
from subprocess import DEVNULL, PIPE

EXE = os.environ["PIRUNE_EXE"]
# nothing falls due, so nothing but a fault writes it
DATA = "2099/12/31 23:59\tテスト\t0\r\n".encode()


class SingleInstance(unittest.TestCase):
    def setUp(self):
        # for the sockets; a program folder
        self.runtime, self.f = self.folder(program=False), self.folder()

    def folder(self, program=True):
        path = tempfile.mkdtemp(prefix="pirune-si-")
        self.addCleanup(shutil.rmtree, path, True)
        if program:
            shutil.copy2(EXE, os.path.join(path, "Pirune"))
            data = pathlib.Path(path, "Pirune.dat")
            data.write_bytes(DATA)
            self.addCleanup(lambda: self.assertEqual(data.read_bytes(), DATA, "Data file written"))
        return path

    # with wait, until it holds a lock and has read the Data file
    def start(self, folder, wait=True):
        env = {**os.environ, "QT_QPA_PLATFORM": "offscreen", "XDG_RUNTIME_DIR": self.runtime}
        p = subprocess.Popen(
            [os.path.join(folder, "Pirune")], env=env, stdout=DEVNULL, stderr=PIPE, text=True
        )
        self.addCleanup(lambda: p.kill() or p.communicate(timeout=10))
        lock = rf"FLOCK +ADVISORY +WRITE +{p.pid} "
        for _ in range(300 if wait else 0):
            if re.search(lock, pathlib.Path("/proc/locks").read_text()):
                time.sleep(0.3)
                self.assertIsNone(p.poll(), "it ended after taking the lock")
                return p
            time.sleep(0.03)
        self.assertFalse(wait, "it never took the lock")
        return p

    # a further start passes on to the running one and ends
    def assert_hands_over(self, folder, running, message):
        self.assertEqual(self.start(folder, wait=False).wait(10), 0, message)
        self.assertIsNone(running.poll())

    def test_one_instance_per_folder(self):
        killed = self.start(self.f)
        killed.kill()
        killed.wait()
        first = self.start(self.f)  # the killed one's lock did not lock it out
        self.start(self.folder())
        self.assert_hands_over(self.f, first, "a further start did not hand over")

    def test_simultaneous_starts_leave_one_running(self):
        folders = (self.f, self.folder(), self.folder())
        pairs = [(self.start(f, wait=False), self.start(f, wait=False)) for f in folders]
        until = time.time() + 10
        while any(a.poll() is None and b.poll() is None for a, b in pairs) and time.time() < until:
            time.sleep(0.025)
        time.sleep(0.3)
        for a, b in pairs:
            self.assertEqual({a.poll(), b.poll()}, {0, None}, "not one handed over and one ran on")

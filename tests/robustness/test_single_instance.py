"""One Data file, one running Pirune (the real program, offscreen): a further start hands over, a
killed one does not lock the next start out, another account can neither stop nor reach it."""
import glob, os, pwd, shutil, socket, subprocess, tempfile, time, unittest

EXE = os.environ.get("PIRUNE_EXE", "")
DATA = "2099/12/31 23:59\tテスト\t0\r\n".encode()  # nothing falls due, so nothing but a fault writes it


class SingleInstance(unittest.TestCase):
    def setUp(self):
        self.runtime = self.folder(copy=False)  # the instances' lock files and sockets

    def folder(self, copy=True):
        path = tempfile.mkdtemp(prefix="pirune-si-")
        self.addCleanup(shutil.rmtree, path, True)
        if copy:
            shutil.copy2(EXE, os.path.join(path, "Pirune"))
            with open(os.path.join(path, "Pirune.dat"), "wb") as f:
                f.write(DATA)
        return path

    def start(self, folder, *wrap, **env):
        env = {**os.environ, "QT_QPA_PLATFORM": "offscreen", "XDG_RUNTIME_DIR": self.runtime, **env}
        p = subprocess.Popen([*wrap, os.path.join(folder, "Pirune")], env=env, stdout=subprocess.DEVNULL)
        self.addCleanup(lambda: p.kill() or p.wait())
        return p

    def becomes_primary(self, p, runtime=None):
        """It has taken the lock and read the Data file once its lock file names it."""
        for _ in range(300):
            locks = glob.glob(os.path.join(runtime or self.runtime, "pirune-*.lock"))
            if p.poll() is None and any(open(lock).readline().strip() == str(p.pid) for lock in locks):
                time.sleep(0.3)
                return p.poll() is None
            time.sleep(0.03)
        return False

    def check_data(self, folder):
        with open(os.path.join(folder, "Pirune.dat"), "rb") as f:
            self.assertEqual(f.read(), DATA)

    def test_killed_primary_does_not_lock_out(self):
        f, other = self.folder(), self.folder()
        for _ in range(2):
            primary = self.start(f)
            self.assertTrue(self.becomes_primary(primary))
            primary.kill()
            primary.wait()
        nxt, elsewhere = self.start(f), self.start(other)
        self.assertTrue(self.becomes_primary(nxt) and self.becomes_primary(elsewhere))
        self.assertEqual(self.start(f).wait(10), 0, "a further start did not hand over")
        self.assertIsNone(nxt.poll())
        self.check_data(f)

    def test_simultaneous_starts_leave_one_running(self):
        f = self.folder()
        for _ in range(3):
            a, b = self.start(f), self.start(f)
            for _ in range(400):
                if a.poll() is not None or b.poll() is not None:
                    break
                time.sleep(0.025)
            loser, winner = (a, b) if a.poll() is not None else (b, a)
            self.assertEqual(loser.poll(), 0, "no start handed over")
            time.sleep(0.3)
            self.assertIsNone(winner.poll())
            winner.kill()
            winner.wait()
        self.check_data(f)

    def test_another_account_can_neither_stop_nor_reach_it(self):
        """Root squats the names the account's Pirune would use, as any other account could: its own
        Pirune, in the same folder, under the account's home folder name; then asks it to show."""
        if os.geteuid() != 0:
            self.skipTest("needs root to make a second account")
        name = f"pirune-t{os.getpid()}"
        subprocess.run(["useradd", "-M", name], check=True)
        self.addCleanup(subprocess.run, ["userdel", name])
        account = pwd.getpwnam(name)
        f, runtime = self.folder(), self.folder(copy=False)
        for path in (f, os.path.join(f, "Pirune"), os.path.join(f, "Pirune.dat"), runtime):
            os.chown(path, account.pw_uid, account.pw_gid)
        self.assertTrue(self.becomes_primary(self.start(f, HOME=account.pw_dir)))
        own = self.start(f, "setpriv", f"--reuid={account.pw_uid}", f"--regid={account.pw_gid}", "--clear-groups",
                         "--", XDG_RUNTIME_DIR=runtime, HOME=account.pw_dir)
        self.assertTrue(self.becomes_primary(own, runtime), "the account's Pirune was stopped")
        with socket.socket(socket.AF_UNIX) as ask:
            ask.connect(glob.glob(os.path.join(runtime, "pirune-*[!k]"))[0])
            ask.sendall(b"show\n")
            ask.settimeout(2)
            try:
                answer = ask.recv(16)
            except (socket.timeout, ConnectionResetError):  # no answer, or refused
                answer = b""
        self.assertEqual(answer, b"")
        self.assertIsNone(own.poll())


if __name__ == "__main__":
    unittest.main()

"""One Data file, one running Pirune (the real program, offscreen), and no other account stops or reaches it."""
import contextlib, glob, os, pathlib, pwd, shutil, socket, subprocess, tempfile, time, unittest

EXE = os.environ["PIRUNE_EXE"]
# nothing falls due, so nothing but a fault writes it
DATA = "2099/12/31 23:59\tテスト\t0\r\n".encode()


class SingleInstance(unittest.TestCase):
    def setUp(self):
        # locks and sockets; a program folder
        self.runtime, self.f = self.folder(program=False), self.folder()

    def folder(self, program=True):
        path = tempfile.mkdtemp(prefix="pirune-si-")
        self.addCleanup(shutil.rmtree, path, True)
        if program:
            shutil.copy2(EXE, os.path.join(path, "Pirune"))
            data = pathlib.Path(path, "Pirune.dat")
            data.write_bytes(DATA)
            self.addCleanup(
                lambda: self.assertEqual(data.read_bytes(), DATA, "the Data file was written")
            )
        return path

    def start(self, folder, *wrap, wait=True, **env):
        """With wait, until it has taken the lock (its lock file names it) and has read the Data file."""
        env = {**os.environ, "QT_QPA_PLATFORM": "offscreen", "XDG_RUNTIME_DIR": self.runtime, **env}
        p = subprocess.Popen(
            [*wrap, os.path.join(folder, "Pirune")], env=env, stdout=subprocess.DEVNULL
        )
        self.addCleanup(lambda: p.kill() or p.wait())
        for _ in range(300 if wait else 0):
            locks = glob.glob(os.path.join(env["XDG_RUNTIME_DIR"], "pirune-*.lock"))
            if any(pathlib.Path(lock).read_text().startswith(f"{p.pid}\n") for lock in locks):
                time.sleep(0.3)
                self.assertIsNone(p.poll(), "it ended after taking the lock")
                return p
            time.sleep(0.03)
        self.assertFalse(wait, "it never took the lock")
        return p

    def test_one_instance_per_folder(self):
        killed = self.start(self.f)
        killed.kill()
        killed.wait()
        first = self.start(self.f)  # the killed one's lock did not lock it out
        self.start(self.folder())
        self.assertEqual(
            self.start(self.f, wait=False).wait(10), 0, "a further start did not hand over"
        )
        self.assertIsNone(first.poll())

    def test_simultaneous_starts_leave_one_running(self):
        pairs = [
            (self.start(f, wait=False), self.start(f, wait=False))
            for f in (self.f, self.folder(), self.folder())
        ]
        deadline = time.time() + 10
        while (
            any(a.poll() is None and b.poll() is None for a, b in pairs) and time.time() < deadline
        ):
            time.sleep(0.025)
        time.sleep(0.3)
        for a, b in pairs:
            self.assertEqual(
                {a.poll(), b.poll()}, {0, None}, "not one start handed over and one ran on"
            )

    @unittest.skipUnless(os.geteuid() == 0, "needs root to make a second account")
    def test_another_account_can_neither_stop_nor_reach_it(self):
        # Root squats the names the account's Pirune would use, as any other account could: its own
        # Pirune, in the same folder, under the account's home folder name; then asks it to show.
        name = f"pirune-t{os.getpid()}"
        subprocess.run(["useradd", "-M", name], check=True)
        self.addCleanup(subprocess.run, ["userdel", name])
        account = pwd.getpwnam(name)
        runtime = self.folder(program=False)
        subprocess.run(["chown", "-R", f"{name}:", runtime, self.f], check=True)
        self.start(self.f, HOME=account.pw_dir)
        own = self.start(  # it was not stopped
            self.f,
            "setpriv",
            f"--reuid={account.pw_uid}",
            f"--regid={account.pw_gid}",
            "--clear-groups",
            "--",
            XDG_RUNTIME_DIR=runtime,
            HOME=account.pw_dir,
        )
        with socket.socket(socket.AF_UNIX) as ask:
            ask.settimeout(2)
            ask.connect(glob.glob(os.path.join(runtime, "pirune-*[!k]"))[0])
            ask.sendall(b"show\n")
            with contextlib.suppress(TimeoutError, ConnectionResetError):  # no answer, or refused
                self.assertEqual(ask.recv(16), b"", "another account got an answer")
        self.assertIsNone(own.poll())

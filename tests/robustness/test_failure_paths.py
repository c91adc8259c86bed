import os, shutil, subprocess, tempfile, time, unittest

from pirune_e2e import PiruneSession, notices, setUpModule  # noqa: F401  (tests/e2e, on PYTHONPATH)

ROOT = os.geteuid() == 0  # whom file modes do not stop: the program then runs as nobody
NOBODY = "setpriv --reuid=65534 --regid=65534 --clear-groups --".split() if ROOT else []
# due at 09:05:00
DUE = notices([("2026/12/07 09:05", "締め切り", "0"), ("2027/01/05 09:00", "仕事始め", "0")])
BIG = DUE + notices([("2099/01/01 00:00", f"いつか {k} " + "x" * 40, "0") for k in range(5000)])


def for_nobody(folder, mode):  # the session's folders are private to their maker
    os.chmod(os.path.dirname(folder), 0o755)
    os.chmod(folder, mode)
    if ROOT:  # so that only the folder or the file's mode stops nobody
        os.chown(os.path.join(folder, "Pirune.dat"), 65534, 65534)


# data, prepare(folder), the command the program starts behind, the Data file after; the box
# comes at a save. A folder that takes no new file gets the file written in place, and says so.
SHOWN = notices([("2026/12/07 09:05", "締め切り", "1"), ("2027/01/05 09:00", "仕事始め", "0")])
CASES = {
    "folder not writable": (DUE, lambda f: for_nobody(f, 0o555), NOBODY, SHOWN),
    "file size limit": (BIG, None, ["bash", "-c", 'ulimit -f 100 && exec "$@"', "bash"], BIG),
}


class FailurePaths(unittest.TestCase):
    def test_an_error_box_and_the_last_good_file_stays(self):
        for case, (data, prepare, wrap, after) in CASES.items():
            with self.subTest(case), PiruneSession(data, "2026-12-07 09:04:57", prepare, wrap) as s:
                s.wait_window("メッセージ", timeout=8)  # its flag saved: the box comes
                s.answer("Pirune", "Return")  # the box: the main window stays hidden
                time.sleep(max(0.0, s.started + 4 - time.time()))  # 09:05:01
                s.check(s.procs["pirune"].poll() is None, "the program ended")
                if case == "file size limit":  # a logout: what is not in the file is listed
                    s.x("pkill", "-TERM", "-P", str(s.procs["pirune"].pid))  # faketime's child
                    s.check(s.procs["pirune"].wait(5) == 0, "SIGTERM did not end it")
                    s.check("not saved: 表示済みの印: 2026/12/07 09:05 締め切り" in s.log("pirune"), "")
                # to read what is left, and remove it
                subprocess.run(["chmod", "-R", "u+rwX", s.folder], check=True)
                s.check(s.data_bytes() == after, "the Data file is not the last good one")
                left = set(os.listdir(s.folder)) - {"Pirune.dat.lock"}  # the lock file stays
                s.check(sorted(left) == ["Pirune", "Pirune.dat"], "files were left in the folder")
            # Started as nobody, whose runtime folder is not theirs, it locks in a folder of its own.
            shutil.rmtree(os.path.join(tempfile.gettempdir(), "pirune-65534"), ignore_errors=True)

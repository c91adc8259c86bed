"""The real program on an X display when its Data file cannot be read or written: each time a
clear error box, the program keeps running and the last good file stays as it was.

Run with the built program's path in PIRUNE_EXE, e.g.
    PIRUNE_EXE=build/Pirune python3 -m unittest -v test_failure_paths
Run as root (as CI does), file modes do not stop the program: the read and write cases then start
it as the user nobody; without setpriv they are skipped.
"""

import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pirune_e2e import PiruneSession, missing_tools, notices_bytes  # noqa: E402

EXE = os.environ.get("PIRUNE_EXE", "")
IS_ROOT = os.geteuid() == 0
NOBODY = 65534

# Due at 09:05:00 of the faked clock: the timer shows it and saves the file with its flag set.
FAKE_START = "2026-12-07 09:04:57"
DUE = [("2026/12/07 09:05", "締め切り", "0"), ("2027/01/05 09:00", "仕事始め", "0")]


def setUpModule():
    missing = missing_tools() + [t for t in ("faketime",) if shutil.which(t) is None]
    if missing or not os.path.isfile(EXE):
        print(f"E2E-SKIP: missing {', '.join(missing) or 'PIRUNE_EXE=' + repr(EXE)}", flush=True)
        raise unittest.SkipTest("end-to-end tools or program missing")


class WrappedSession(PiruneSession):
    """A session whose program starts behind a wrapper: another user, a resource limit."""

    def __init__(self, *args, wrap=(), **kw):
        super().__init__(*args, **kw)
        self.wrap = list(wrap)


def as_nobody():
    """The wrapper that drops root for the program, or None when it cannot."""
    if not IS_ROOT:
        return []
    if shutil.which("setpriv") is None:
        return None
    return ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--"]


def open_to_others(folder):
    # The session's folders are private to the user that made them.
    os.chmod(os.path.dirname(folder), 0o755)
    os.chmod(folder, 0o755)


def error_box(s, what, timeout=10):
    """Waits for the program's error box (titled Pirune; the main window stays hidden) and keeps a
    picture of it. Qt offers no way to copy a message box's text on Linux, so the picture is the
    record of what it says."""
    box = s.wait_for(lambda: next(iter(s.find_windows("Pirune")), None), timeout, f"the error box {what}",
                     interval=0.1)
    time.sleep(0.3)
    s.screenshot(f"{s.name}-box", box)
    return box


def same_bytes(s, expected, what):
    actual = s.data_bytes()
    if actual != expected:
        s.fail(f"{what}: {len(expected)} bytes became {None if actual is None else len(actual)} bytes"
               f" (first difference at {next((i for i, (a, b) in enumerate(zip(actual or b'', expected)) if a != b), '-')})")


def dismiss(s, box):
    s.focus(box)
    s.key("Return")
    s.wait_no_window("Pirune")


class FailurePaths(unittest.TestCase):
    def session(self, **kw):
        return WrappedSession(EXE, "failure-" + self.id().rsplit(".", 1)[1], **kw)

    def tearDown(self):
        # Instances started as nobody, whose runtime folder is not theirs, lock in a folder of their own.
        shutil.rmtree(os.path.join(tempfile.gettempdir(), f"pirune-{NOBODY}"), ignore_errors=True)

    def as_nobody_or_skip(self, why_root_cannot):
        wrap = as_nobody()
        if wrap is None:
            self.skipTest("running as root without setpriv: " + why_root_cannot)
        return wrap

    def test_data_file_is_a_folder(self):
        def prepare(folder):
            os.mkdir(os.path.join(folder, "Pirune.dat"))
            with open(os.path.join(folder, "Pirune.dat", "inside"), "wb") as f:
                f.write(b"kept")

        with self.session(data=None, prepare=prepare, fake_time=FAKE_START) as s:
            box = error_box(s, "of the start (Form_Load)")
            dismiss(s, box)
            s.check(s.program_running(), "the program ended after the box")
            s.check(os.path.isdir(s.data_path), "the folder was replaced")
            with open(os.path.join(s.data_path, "inside"), "rb") as f:
                s.check(f.read() == b"kept", "the folder's content changed")

    def test_unreadable_data_file(self):
        wrap = self.as_nobody_or_skip("a mode-000 file is readable to root")
        data = notices_bytes(DUE)

        def prepare(folder):
            open_to_others(folder)
            os.chmod(os.path.join(folder, "Pirune.dat"), 0o000)

        with self.session(data=data, prepare=prepare, wrap=wrap, fake_time=FAKE_START) as s:
            box = error_box(s, "of the start (Form_Load)")
            dismiss(s, box)
            # The due notice of the unread file must not lead to a save over it.
            time.sleep(max(0.0, s.wall_time_of("2026-12-07 09:05:01") - time.time()))
            s.check(s.program_running(), "the program ended")
            s.check(not s.find_windows("メッセージ"), "a notice of the unread file was shown")
            os.chmod(s.data_path, 0o644)
            same_bytes(s, data, "the unreadable file")

    def test_folder_not_writable(self):
        wrap = self.as_nobody_or_skip("root writes into any folder")
        data = notices_bytes(DUE)

        def prepare(folder):
            open_to_others(folder)
            if IS_ROOT:
                os.chown(os.path.join(folder, "Pirune.dat"), NOBODY, NOBODY)
            else:
                os.chmod(folder, 0o555)

        with self.session(data=data, prepare=prepare, wrap=wrap, fake_time=FAKE_START) as s:
            try:
                s.wait_window("メッセージ", timeout=8)
                box = error_box(s, "of the failed save (SaveDataToFile)")
                dismiss(s, box)
                s.check(s.program_running(), "the program ended after the failed save")
                same_bytes(s, data, "the file in the read-only folder")
                s.check(sorted(os.listdir(s.folder)) == ["Pirune", "Pirune.dat"], "files were left in the folder")
            finally:
                os.chmod(s.folder, 0o755)

    def test_file_size_limit_during_save(self):
        # Notices enough for 300 KB against a limit of 100 KB: the save cannot be written.
        notices = DUE + [("2099/01/01 00:00", f"いつか {k} " + "x" * 40, "0") for k in range(5000)]
        data = notices_bytes(notices)
        self.assertGreater(len(data), 200 * 1024)
        limit = ["bash", "-c", 'ulimit -f 100 && exec "$@"', "bash"]

        with self.session(data=data, wrap=limit, fake_time=FAKE_START) as s:
            s.wait_window("メッセージ", timeout=8)
            box = error_box(s, "of the failed save (SaveDataToFile)")
            dismiss(s, box)
            s.check(s.program_running(), "the program ended at the file-size limit")
            same_bytes(s, data, "the file saved at the limit")


if __name__ == "__main__":
    unittest.main()

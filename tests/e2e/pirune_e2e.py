"""The built Pirune on its own Xvfb display beside a tray host (trayer), driven like a user. Each
session ends everything it started by process group, also on failure, and leaves a screenshot of
the last screen in $PIRUNE_E2E_SCREENS/<case>.png."""
import collections, ctypes, datetime, os, re, shutil, signal, subprocess, tempfile, time, unittest

EXE = os.environ.get("PIRUNE_EXE", "")
# Controls of the main window, in pixels from its top-left corner (no window manager, no frame).
MAIN = {"list": (48, 34), "date": (120, 196), "time": (220, 196), "message": (262, 223), "add": (48, 268),
        "change": (120, 268), "delete": (192, 268), "clear": (264, 268), "close": (568, 308)}
THREE = [("2026/12/07 08:00", "朝会の準備\\n資料を印刷", "1"), ("2026/12/24 10:00", "Xmas party", "0"),
         ("2027/01/05 09:00", "仕事始め", "0")]
IGNORE_X_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda *_: 0)
Window = collections.namedtuple("Window", "id name x y width height menu")  # menu: override-redirect


def skip_without_tools():
    tools = ("Xvfb", "trayer", "xdotool", "xwininfo", "xclip", "import", "faketime", "iconv")
    missing = [t for t in tools if not shutil.which(t)] + ([] if os.path.isfile(EXE) else ["PIRUNE_EXE"])
    if missing:
        print(f"E2E-SKIP: missing {', '.join(missing)}", flush=True)  # ctest reads this as skipped
        raise unittest.SkipTest("end-to-end tools or program missing")


def notices(rows):
    """The Data file's bytes for (date-time, message, flag) rows: CP932 as Windows writes it."""
    text = "".join(f"{j}\t{m}\t{f}\r\n" for j, m, f in rows).encode()
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP932"], input=text, capture_output=True, check=True).stdout


class PiruneSession:
    def __init__(self, name, data=b"", fake_time=None, prepare=None, wrap=()):
        """data=None starts without a Data file; prepare(folder) runs just before the start; wrap is
        a command the program starts behind (another user, a resource limit)."""
        self.name, self.data, self.fake_time, self.prepare, self.wrap, self.procs = name, data, fake_time, prepare, wrap, {}

    def __enter__(self):
        self.root = tempfile.mkdtemp(prefix="pirune-e2e-")
        self.folder, runtime = os.path.join(self.root, "app"), os.path.join(self.root, "runtime")
        self.data_path = os.path.join(self.folder, "Pirune.dat")
        os.mkdir(self.folder)
        os.mkdir(runtime, 0o700)
        self.env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        self.env.update(LANG="C.UTF-8", TZ="UTC", XDG_RUNTIME_DIR=runtime)
        try:
            xvfb = self.spawn("xvfb", ["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                       "-noreset"], stdout=subprocess.PIPE)
            self.env["DISPLAY"] = ":" + xvfb.stdout.readline().decode().strip()
            self.spawn("trayer", ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                                  "--width", "200", "--height", "32"])
            self.wait_for(lambda: self.find_windows("panel"), 10, "trayer's panel")
            shutil.copy2(EXE, os.path.join(self.folder, "Pirune"))
            if self.data is not None:
                with open(self.data_path, "wb") as f:
                    f.write(self.data)
            if self.prepare:
                self.prepare(self.folder)
            self.start_program()
        except BaseException:
            self.__exit__(True)
            raise
        return self

    def __exit__(self, failed, *_):
        screens = os.environ.get("PIRUNE_E2E_SCREENS") or tempfile.gettempdir()
        os.makedirs(screens, exist_ok=True)
        subprocess.run(["import", "-window", "root", os.path.join(screens, self.name + "-FAILED" * bool(failed) + ".png")],
                       env=self.env, capture_output=True, timeout=20)
        for key in sorted(self.procs, key=lambda k: k == "xvfb"):
            if proc := self.procs.pop(key, None):
                try:
                    os.killpg(proc.pid, signal.SIGKILL)  # each leads its own group: faketime's child goes too
                except ProcessLookupError:
                    pass
                proc.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    def spawn(self, key, cmd, **kw):
        with open(os.path.join(self.root, key + ".log"), "ab") as log:
            kw.setdefault("stdout", log)
            self.procs[key] = subprocess.Popen(cmd, env=self.env, stdin=subprocess.DEVNULL, stderr=log,
                                               start_new_session=True, **kw)
        return self.procs[key]

    def start_program(self):
        while self.fake_time and time.time() % 1 > 0.9:
            time.sleep(0.02)  # faketime keeps the real fraction of a second: start early in one
        self.started = time.time()
        fake = ["faketime", self.fake_time] if self.fake_time else []
        self.spawn("pirune", list(self.wrap) + fake + ["./Pirune"], cwd=self.folder)
        self.wait_for(self.tray_icon, 15, "the tray icon")

    def data_bytes(self):
        try:
            with open(self.data_path, "rb") as f:
                return f.read()
        except OSError:
            return None

    def wall_time_of(self, fake):
        """The time.time() at which the program's clock reads fake, "YYYY-MM-DD hh:mm:ss"."""
        parse = lambda t: datetime.datetime.strptime(t, "%Y-%m-%d %H:%M:%S")
        return int(self.started) + (parse(fake) - parse(self.fake_time)).total_seconds()

    def program_running(self):
        return self.procs["pirune"].poll() is None

    def x(self, *cmd):
        return subprocess.run(cmd, env=self.env, capture_output=True, timeout=20, check=True).stdout.decode()

    def windows(self, *where):
        """The visible named windows at the top level, or anywhere below the window `where` names."""
        found = []
        for m in re.finditer(r'(0x[0-9a-f]+) "(.*)": .* (\d+)x(\d+)[+-]-?\d+[+-]-?\d+ +\+(-?\d+)\+(-?\d+)',
                             self.x("xwininfo", *(where or ("-root", "-children")))):
            state = subprocess.run(["xwininfo", "-id", m[1]], env=self.env, capture_output=True, text=True).stdout
            if "IsViewable" in state:
                found.append(Window(int(m[1], 16), m[2], int(m[5]), int(m[6]), int(m[3]), int(m[4]),
                                    "Override Redirect State: yes" in state))
        return found

    def find_windows(self, title):
        return [w for w in self.windows() if w.name == title and not w.menu]

    def tray_icon(self):
        panel = self.find_windows("panel")
        return next((w for w in self.windows("-id", hex(panel[0].id), "-tree") if w.name == "Pirune"), None) if panel else None

    def wait_for(self, probe, timeout, what):
        deadline = time.monotonic() + timeout
        while not (value := probe()):
            if time.monotonic() > deadline:
                self.fail(f"waited {timeout}s for {what}")
            time.sleep(0.05)
        return value

    def wait_window(self, title, timeout=10):
        return self.wait_for(lambda: self.find_windows(title), timeout, f'a window "{title}"')[0]

    def wait_no_window(self, title, timeout=5):
        self.wait_for(lambda: not self.find_windows(title), timeout, f'no window "{title}"')

    def click_in(self, window, dx, dy, button=1, repeat=1):
        self.x("xdotool", "mousemove", str(window.x + dx), str(window.y + dy), "click", "--repeat", str(repeat),
               "--delay", "80", str(button))

    def click_control(self, window, control):
        self.click_in(window, *MAIN[control])

    def click_tray(self, button=1, repeat=1):
        icon = self.wait_for(self.tray_icon, 5, "the tray icon")
        self.click_in(icon, icon.width // 2, icon.height // 2, button, repeat)

    def menu_command(self, key):
        """Opens the icon's menu with a right click and chooses an item by its access key."""
        menu = lambda: [w for w in self.windows() if w.menu and w.name == "Pirune"]  # noqa: E731
        for _ in range(3):  # a window being activated just then closes the menu, as it would for a user
            self.click_tray(button=3)
            if any(menu() or time.sleep(0.1) for _ in range(10)):
                return self.key(key)
        self.fail("no menu")

    def close_window(self, window):
        """What a window manager's close box does: sends the window WM_DELETE_WINDOW."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype, x11.XInternAtom.restype = ctypes.c_void_p, ctypes.c_ulong
        x11.XSetErrorHandler(IGNORE_X_ERRORS)  # a window already gone would end this process
        dpy = ctypes.c_void_p(x11.XOpenDisplay(self.env["DISPLAY"].encode()))
        atom = lambda name: x11.XInternAtom(dpy, name, 0)  # noqa: E731
        # An XClientMessageEvent as longs: type, serial, send_event, display, window, message_type, format, data
        event = (ctypes.c_long * 24)(33, 0, 0, 0, window.id, atom(b"WM_PROTOCOLS"), 32, atom(b"WM_DELETE_WINDOW"))
        x11.XSendEvent(dpy, ctypes.c_ulong(window.id), 0, 0, event)
        x11.XCloseDisplay(dpy)

    def focus(self, window):
        self.x("xdotool", "windowfocus", "--sync", str(window.id))  # no window manager gives focus

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "30", *keys)

    def type_text(self, text):
        self.x("xdotool", "type", "--delay", "20", text)

    def copy_text(self, window, dx, dy):
        """Selects all of a text control and copies it: the control's text."""
        self.focus(window)
        self.click_in(window, dx, dy)
        self.key("ctrl+a", "ctrl+c")
        time.sleep(0.2)
        return subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, capture_output=True,
                              timeout=5).stdout.decode()

    def fail(self, message):
        with open(os.path.join(self.root, "pirune.log"), "a+", errors="replace") as log:
            log.seek(0)
            raise AssertionError(f"{self.name}: {message}\nwindows: {self.windows()}\n"
                                 f"Pirune.dat: {self.data_bytes()!r}\nprogram output:\n{log.read()}")

    def check(self, condition, message):
        if not condition:
            self.fail(message)

    def check_data(self, expected):
        self.check(self.data_bytes() == expected, f"the Data file: expected {expected!r}")

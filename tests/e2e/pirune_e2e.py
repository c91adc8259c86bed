"""The built Pirune on its own display (Xvfb, or Weston), session bus and notification area (trayer, or
the Xfce panel), driven like a user. Each session ends all it started, also what the bus started on
demand, also on failure, and leaves a screenshot of the last screen in $PIRUNE_E2E_SCREENS/<case>.png."""
import collections, ctypes, datetime, os, re, shutil, signal, subprocess, tempfile, time, unittest

EXE = os.environ.get("PIRUNE_EXE", "")
HERE = os.path.dirname(os.path.abspath(__file__))
WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher")
# Controls of the main window, in pixels from its top-left corner (no window manager, no frame).
MAIN = {"list": (48, 34), "date": (120, 196), "time": (220, 196), "message": (262, 223), "add": (48, 268),
        "change": (120, 268), "delete": (192, 268), "clear": (264, 268), "close": (568, 308)}
THREE = [("2026/12/07 08:00", "朝会の準備\\n資料を印刷", "1"), ("2026/12/24 10:00", "Xmas party", "0"),
         ("2027/01/05 09:00", "仕事始め", "0")]
IGNORE_X_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda *_: 0)
Window = collections.namedtuple("Window", "id name x y width height menu")  # menu: override-redirect


def skip_without_tools():
    tools = ("Xvfb", "trayer", "xdotool", "xwininfo", "xclip", "import", "faketime", "iconv", "dbus-daemon",
             "dbus-send", "xfce4-panel", "weston", "xrdb")
    missing = [t for t in tools if not shutil.which(t)] + ([] if os.path.isfile(EXE) else ["PIRUNE_EXE"])
    if missing:
        print(f"E2E-SKIP: missing {', '.join(missing)}", flush=True)  # ctest reads this as skipped
        raise unittest.SkipTest("end-to-end tools or program missing")


def notices(rows):  # the Data file for (date-time, message, flag) rows, in CP932 as Windows writes it
    text = "".join(f"{j}\t{m}\t{f}\r\n" for j, m, f in rows).encode()
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP932"], input=text, capture_output=True, check=True).stdout


class PiruneSession:
    # data=None: no Data file; prepare(folder) runs before the start; wrap: a command the program starts
    # behind; host: "trayer" (XEmbed), "xfce" (StatusNotifierItem), "weston" (Wayland, no notification area).
    def __init__(self, name, data=b"", fake_time=None, prepare=None, wrap=(), host="trayer", late_host=False,
                 dpi=None, screen="1024x768x24"):
        self.name, self.data, self.fake_time, self.prepare, self.wrap = name, data, fake_time, prepare, wrap
        self.host, self.late_host, self.dpi, self.screen, self.procs = host, late_host, dpi, screen, {}

    def __enter__(self):
        signal.signal(signal.SIGALRM, lambda *_: self.fail("session timed out"))  # before ctest kills us
        signal.alarm(150)
        self.root = tempfile.mkdtemp(prefix="pirune-e2e-")
        self.folder, self.data_path = os.path.join(self.root, "app"), os.path.join(self.root, "app", "Pirune.dat")
        for d in ("app", "home", "runtime"):
            os.mkdir(os.path.join(self.root, d), 0o700)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY")}
        # Every process of the session, also those the bus starts on demand, inherits the mark.
        self.env.update(LANG="C.UTF-8", TZ="UTC", XDG_RUNTIME_DIR=os.path.join(self.root, "runtime"), NO_AT_BRIDGE="1",
                        HOME=os.path.join(self.root, "home"), PIRUNE_E2E=self.root)
        try:
            if self.host != "weston":
                xvfb = self.spawn("xvfb", ["Xvfb", "-displayfd", "1", "-screen", "0", self.screen, "-nolisten", "tcp",
                                           "-noreset"], stdout=subprocess.PIPE)
                self.env["DISPLAY"] = ":" + xvfb.stdout.readline().decode().strip()
            if self.dpi:
                subprocess.run(["xrdb", "-nocpp", "-merge"], input=f"Xft.dpi: {self.dpi}\n".encode(), env=self.env)
            self.spawn("bus", ["dbus-daemon", "--config-file", os.path.join(HERE, "session-bus.conf"), "--nofork",
                               "--address", "unix:dir=" + self.root, "--print-address=1"])
            bus = self.wait_for(lambda: re.findall(r"^unix:\S+", self.log("bus"), re.M), 10, "the session bus")
            self.env["DBUS_SESSION_BUS_ADDRESS"] = bus[0]
            if not self.late_host:
                self.start_host()
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
        signal.alarm(0)
        if "xvfb" in self.procs:
            screens = os.environ.get("PIRUNE_E2E_SCREENS") or tempfile.gettempdir()
            os.makedirs(screens, exist_ok=True)
            subprocess.run(["import", "-window", "root", "-depth", "8", os.path.join(
                screens, self.name + "-FAILED" * bool(failed) + ".png")], env=self.env, capture_output=True, timeout=20)
        for key in sorted(self.procs, key=lambda k: k == "xvfb"):
            try:
                os.killpg(self.procs[key].pid, signal.SIGKILL)  # each leads its own group: faketime's child too
            except ProcessLookupError:
                pass
            self.procs.pop(key).wait()
        mark = b"PIRUNE_E2E=" + self.root.encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if mark in f.read().split(b"\0"):
                        os.kill(int(pid), signal.SIGKILL)
            except OSError:  # gone, or another user's
                pass
        shutil.rmtree(self.root, ignore_errors=True)

    def spawn(self, key, cmd, **kw):
        with open(os.path.join(self.root, key + ".log"), "ab") as log:
            kw.setdefault("stdout", log)
            self.procs[key] = subprocess.Popen(cmd, env=self.env, stdin=subprocess.DEVNULL, stderr=log,
                                               start_new_session=True, **kw)
        return self.procs[key]

    def log(self, key):
        return open(os.path.join(self.root, key + ".log"), "rb").read().decode("utf-8", "replace")

    def start_host(self):
        if self.host == "trayer":
            self.spawn("trayer", ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                                  "--width", "200", "--height", "32"])
            self.wait_for(lambda: self.find_windows("panel"), 10, "trayer's panel")
        elif self.host == "xfce":
            conf = os.path.join(self.env["HOME"], ".config", "xfce4", "xfconf", "xfce-perchannel-xml")
            os.makedirs(conf)
            shutil.copy(os.path.join(HERE, "xfce4-panel.xml"), conf)
            self.spawn("panel", ["xfce4-panel", "--disable-wm-check"])
            self.wait_for(lambda: "true" in self.dbus_property(*WATCHER, "IsStatusNotifierHostRegistered"), 15,
                          "the panel's notification area")
        else:
            self.env.update(WAYLAND_DISPLAY="wayland-pirune", QT_QPA_PLATFORM="wayland")
            self.spawn("weston", ["weston", "--backend=headless-backend.so", "--use-pixman", "--idle-time=0",
                                  "--socket=wayland-pirune"])
            self.wait_for(lambda: os.path.exists(os.path.join(self.env["XDG_RUNTIME_DIR"], "wayland-pirune")), 10,
                          "weston")
            self.env["WAYLAND_DEBUG"] = "client"  # the program's requests tell what windows it opens

    def start_program(self):
        while self.fake_time and time.time() % 1 > 0.9:
            time.sleep(0.02)  # faketime keeps the real fraction of a second: start early in one
        self.started = time.time()
        fake = ["faketime", self.fake_time] if self.fake_time else []
        self.spawn("pirune", list(self.wrap) + fake + ["./Pirune"], cwd=self.folder)
        if not self.late_host and self.host != "weston":
            self.wait_for(self.tray_icon, 15, "the tray icon")

    def dbus_property(self, service, path, interface, name):
        return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=" + service, path,
                               "org.freedesktop.DBus.Properties.Get", "string:" + interface, "string:" + name],
                              env=self.env, capture_output=True, text=True).stdout

    def sni_items(self):
        return re.findall(r'"([^"]+)"', self.dbus_property(*WATCHER, "RegisteredStatusNotifierItems"))

    def data_bytes(self):
        return open(self.data_path, "rb").read() if os.path.isfile(self.data_path) else None

    def wall_time_of(self, fake):  # the time.time() at which the program's clock reads fake
        parse = lambda t: datetime.datetime.strptime(t, "%Y-%m-%d %H:%M:%S")  # noqa: E731
        return int(self.started) + (parse(fake) - parse(self.fake_time)).total_seconds()

    def program_running(self):
        return self.procs["pirune"].poll() is None

    def x(self, *cmd):
        return subprocess.run(cmd, env=self.env, capture_output=True, timeout=20, check=True).stdout.decode()

    def windows(self, *where):  # the visible named windows at the top level, or all below where
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

    def program_windows(self):
        return [w for w in self.windows() if w.name not in ("panel", "xfce4-panel", "wrapper-2.0")]

    def tray_icons(self):  # Xfce's panel draws the items in its plugin's window
        if self.host == "xfce" and not self.sni_items():
            return []
        top, name = {w.id for w in self.windows()}, "wrapper-2.0" if self.host == "xfce" else "Pirune"
        return [w for w in self.windows("-root", "-tree") if w.name == name and w.id not in top]

    def tray_icon(self):
        return next(iter(self.tray_icons()), None)

    def wait_for(self, probe, timeout, what):
        deadline = time.monotonic() + timeout
        while not (value := probe()):
            if time.monotonic() > deadline:
                self.fail(f"waited {timeout}s for {what}")
            time.sleep(0.05)
        return value

    def wait_window(self, title, timeout=10):
        return self.wait_for(lambda: self.find_windows(title), timeout, f'a window "{title}"')[0]

    def wait_no_window(self, title):
        self.wait_for(lambda: not self.find_windows(title), 5, f'no window "{title}"')

    def click_in(self, window, dx, dy, button=1, repeat=1):
        self.x("xdotool", "mousemove", str(window.x + dx), str(window.y + dy), "click", "--repeat", str(repeat),
               "--delay", "80", str(button))

    def click_control(self, window, control):
        self.click_in(window, *MAIN[control])

    def click_tray(self, button=1, repeat=1):
        icon = self.wait_for(self.tray_icon, 5, "the tray icon")
        self.click_in(icon, icon.width // 2, icon.height // 2, button, repeat)

    def menu_command(self, key):  # right click on the icon, then an item's access key
        menu = lambda: [w for w in self.windows() if w.menu and w.name in ("Pirune", "wrapper-2.0")]  # noqa: E731
        for _ in range(3):  # a window being activated just then closes the menu, as it would for a user
            self.click_tray(button=3)
            if any(menu() or time.sleep(0.1) for _ in range(10)):
                return self.key(key)
        self.fail("no menu")

    def close_window(self, window):  # what a window manager's close box does: WM_DELETE_WINDOW
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

    def copy_text(self, window, dx, dy):  # select all of a text control, copy it, read the clipboard
        self.focus(window)
        self.click_in(window, dx, dy)
        self.key("ctrl+a", "ctrl+c")
        time.sleep(0.2)
        return subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, capture_output=True,
                              timeout=5).stdout.decode()

    def fail(self, message):
        windows = self.windows() if "xvfb" in self.procs else "no X"
        raise AssertionError(f"{self.name}: {message}\nwindows: {windows}\nPirune.dat: {self.data_bytes()!r}\n"
                             f"program output:\n{self.log('pirune') if 'pirune' in self.procs else ''}")

    def check(self, condition, message):
        if not condition:
            self.fail(message)

    def check_data(self, expected):
        self.check(self.data_bytes() == expected, f"the Data file: expected {expected!r}")

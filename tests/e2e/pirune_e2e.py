"""The built Pirune on its own display, session bus and notification area, driven like a user."""
import collections, contextlib, ctypes, os, pathlib, re, shutil, signal, subprocess, tempfile, time, unittest

EXE = os.environ.get("PIRUNE_EXE", "")
HERE = os.path.dirname(os.path.abspath(__file__))
WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher")
MAIN = {"list": (48, 34), "date": (120, 196), "time": (220, 196), "message": (262, 223),  # from the top left
        "add": (48, 268), "delete": (192, 268), "close": (568, 308)}  # of the main window, which has no frame
THREE = [("2026/12/07 08:00", "朝会の準備\\n資料を印刷", "1"), ("2026/12/24 10:00", "Xmas party", "0"),
         ("2027/01/05 09:00", "仕事始め", "0")]
IGNORE_X_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda *_: 0)
Window = collections.namedtuple("Window", "id name x y width height menu")  # menu: override-redirect


def skip_without_tools():
    tools = ("Xvfb", "trayer", "xdotool", "xwininfo", "xclip", "import", "faketime", "iconv", "dbus-daemon",
             "dbus-send", "xfce4-panel", "weston", "xrdb")
    missing = [t for t in tools if not shutil.which(t)] + ([] if os.path.isfile(EXE) else ["PIRUNE_EXE"])
    if missing:  # ctest reads E2E-SKIP as skipped
        raise unittest.SkipTest(f"E2E-SKIP: missing {', '.join(missing)}")


def notices(rows):  # the Data file for (date-time, message, flag) rows, in CP932 as Windows writes it
    text = "".join(f"{j}\t{m}\t{f}\r\n" for j, m, f in rows).encode()
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP932"], input=text, capture_output=True, check=True).stdout


class PiruneSession:
    # data=None: no Data file; prepare(folder) runs before the start; wrap: a command the program starts
    # behind; host: "trayer" (XEmbed), "xfce" (StatusNotifierItem), "weston" (Wayland, no notification area).
    def __init__(self, data=b"", fake_time=None, prepare=None, wrap=(), host="trayer", late_host=False, dpi=None):
        self.data, self.fake_time, self.prepare, self.wrap = data, fake_time, prepare, wrap
        self.host, self.late_host, self.dpi, self.procs = host, late_host, dpi, {}

    def __enter__(self):
        signal.signal(signal.SIGALRM, lambda *_: self.check(False, "session timed out"))  # before ctest kills us
        signal.alarm(150)
        self.root = tempfile.mkdtemp(prefix="pirune-e2e-")
        self.folder, self.data_path = os.path.join(self.root, "app"), os.path.join(self.root, "app", "Pirune.dat")
        for d in ("app", "home", "runtime"):
            os.mkdir(os.path.join(self.root, d), 0o700)
        self.env = dict(PATH=os.environ["PATH"], LANG="C.UTF-8", TZ="UTC", NO_AT_BRIDGE="1", HOME=self.root + "/home",
                        XDG_RUNTIME_DIR=self.root + "/runtime", PIRUNE_E2E=self.root)  # the mark of all it starts
        try:
            if self.host != "weston":
                xvfb = self.spawn("xvfb", ["Xvfb", "-displayfd", "1", "-screen", "0", "1920x1080x24", "-nolisten",
                                           "tcp", "-noreset"], stdout=subprocess.PIPE)
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
                pathlib.Path(self.data_path).write_bytes(self.data)
            if self.prepare:
                self.prepare(self.folder)
            while self.fake_time and time.time() % 1 > 0.9:
                time.sleep(0.02)  # faketime keeps the real fraction of a second: start early in one
            self.started = int(time.time())  # when the program's clock reads fake_time
            fake = ["faketime", self.fake_time] if self.fake_time else []
            self.spawn("pirune", list(self.wrap) + fake + ["./Pirune"], cwd=self.folder)
            if not self.late_host and self.host != "weston":
                self.wait_for(self.tray_icons, 15, "the tray icon")
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *_):
        signal.alarm(0)
        for key in sorted(self.procs, key=lambda k: k == "xvfb"):  # each leads its own group: faketime's child too
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.procs[key].pid, signal.SIGKILL)
        mark = b"PIRUNE_E2E=" + self.root.encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):  # and what the bus started
            with contextlib.suppress(OSError):  # gone, or another user's
                if mark in pathlib.Path(f"/proc/{pid}/environ").read_bytes().split(b"\0"):
                    os.kill(int(pid), signal.SIGKILL)
        for p in self.procs.values():
            p.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    def spawn(self, key, cmd, **kw):
        with open(os.path.join(self.root, key + ".log"), "ab") as log:
            kw.setdefault("stdout", log)
            self.procs[key] = subprocess.Popen(cmd, env=self.env, stdin=subprocess.DEVNULL, stderr=log,
                                               start_new_session=True, **kw)
        return self.procs[key]

    def log(self, key):
        path = pathlib.Path(self.root, key + ".log")
        return path.read_bytes().decode("utf-8", "replace") if path.exists() else ""

    def start_host(self):
        if self.host == "trayer":
            self.spawn("trayer", ["trayer", "--align", "right", "--widthtype", "pixel", "--width", "200", "--height", "32"])
            self.wait_for(lambda: any(w.name == "panel" for w in self.windows()), 10, "trayer's panel")
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
            self.wait_for(lambda: os.path.exists(self.root + "/runtime/wayland-pirune"), 10, "weston")
            self.env["WAYLAND_DEBUG"] = "client"  # the program's requests tell what windows it opens

    def dbus_property(self, service, path, interface, name):
        return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=" + service, path,
                               "org.freedesktop.DBus.Properties.Get", "string:" + interface, "string:" + name],
                              env=self.env, capture_output=True, text=True).stdout

    def sni_items(self):
        return re.findall(r'"([^"]+)"', self.dbus_property(*WATCHER, "RegisteredStatusNotifierItems"))

    def data_bytes(self):
        return pathlib.Path(self.data_path).read_bytes() if os.path.isfile(self.data_path) else None

    def running(self):
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

    def program_windows(self, title=None):  # menus and the panels' windows aside; or those titled so
        panels = ("panel", "xfce4-panel", "wrapper-2.0")
        return [w for w in self.windows() if not w.menu and w.name not in panels and title in (None, w.name)]

    def tray_icons(self):  # Xfce's panel draws the items in its plugin's window
        if self.host == "xfce" and not self.sni_items():
            return []
        top, name = {w.id for w in self.windows()}, "wrapper-2.0" if self.host == "xfce" else "Pirune"
        return [w for w in self.windows("-root", "-tree") if w.name == name and w.id not in top]

    def wait_for(self, probe, timeout, what):
        deadline = time.monotonic() + timeout
        while not (value := probe()):
            self.check(time.monotonic() < deadline, f"waited {timeout}s for {what}")
            time.sleep(0.05)
        return value

    def wait_window(self, title, timeout=10):
        return self.wait_for(lambda: self.program_windows(title), timeout, f'a window "{title}"')[0]

    def wait_no_window(self, title):
        self.wait_for(lambda: not self.program_windows(title), 5, f'no window "{title}"')

    def click(self, window=None, spot=None, button=1, repeat=1):  # a control or spot of window; or the icon
        window = window or self.wait_for(self.tray_icons, 5, "the tray icon")[0]
        dx, dy = MAIN.get(spot, spot) if spot else (window.width // 2, window.height // 2)
        self.x("xdotool", "mousemove", str(window.x + dx), str(window.y + dy), "click", "--repeat", str(repeat),
               "--delay", "80", str(button))

    def menu_command(self, key):  # right click on the icon, then an item's access key
        menu = lambda: [w for w in self.windows() if w.menu and w.name in ("Pirune", "wrapper-2.0")]  # noqa: E731
        for _ in range(3):  # a window being activated just then closes the menu, as it would for a user
            self.click(button=3)
            if any(menu() or time.sleep(0.1) for _ in range(10)):
                return self.key(key)
        self.check(False, "no menu")

    def close_window(self, window):  # what a window manager's close box does: WM_DELETE_WINDOW
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype, x11.XInternAtom.restype = ctypes.c_void_p, ctypes.c_ulong
        x11.XSetErrorHandler(IGNORE_X_ERRORS)  # a window already gone would end this process
        dpy = ctypes.c_void_p(x11.XOpenDisplay(self.env["DISPLAY"].encode()))
        atom = lambda name: x11.XInternAtom(dpy, name, 0)  # noqa: E731
        event = (ctypes.c_long * 24)(33, 0, 0, 0, window.id, atom(b"WM_PROTOCOLS"), 32, atom(b"WM_DELETE_WINDOW"))
        x11.XSendEvent(dpy, ctypes.c_ulong(window.id), 0, 0, event)  # an XClientMessageEvent, in longs
        x11.XCloseDisplay(dpy)

    def focus(self, window):
        self.x("xdotool", "windowfocus", "--sync", str(window.id))  # no window manager gives focus

    def answer(self, title, key):  # a key to the window titled so, which then closes
        self.focus(self.wait_window(title))
        self.key(key)
        self.wait_no_window(title)

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "30", *keys)

    def copy_text(self, window, spot):  # select all of a text control, copy it, read the clipboard
        self.focus(window)
        self.click(window, spot)
        self.key("ctrl+a", "ctrl+c")
        time.sleep(0.2)
        return self.x("xclip", "-o", "-selection", "clipboard")

    def check(self, condition, message):
        if not condition:
            raise AssertionError(f"{message}\nwindows: {self.windows() if 'DISPLAY' in self.env else 'no X'}\n"
                                 f"Pirune.dat: {self.data_bytes()!r}\nprogram output:\n{self.log('pirune')}")

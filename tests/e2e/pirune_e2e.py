import collections, contextlib, glob, json, os, pathlib, pwd, re, shutil, signal, subprocess, tempfile, time, unittest

EXE = os.environ.get("PIRUNE_EXE", "")
HERE = os.path.dirname(os.path.abspath(__file__))
WATCHER = "org.kde.StatusNotifierWatcher"
TRAYER = "trayer --edge bottom --align right --widthtype pixel --width 200 --height 32"
# from the top left of the main window, which has no frame
MAIN = {"message": (262, 223), "close": (568, 308)}
LATER = [("2099/12/24 10:00", "いつか\\nその日に", "0")]  # never due
PANELS = ("panel", "xfce4-panel", "wrapper-2.0")  # trayer's, Xfce's and its plugin's windows
A11Y_PYTHON = "/usr/bin/python3"  # Debian's, with pyatspi
QUIET = 1.2  # seconds without a key, after which a window that has just come up takes keys
# menu: override-redirect
Window = collections.namedtuple("Window", "id name width height x y menu")


def setUpModule():  # of each test module that imports it; ctest reads E2E-SKIP as skipped
    need("iconv", [] if os.path.isfile(EXE) else ["PIRUNE_EXE"])


# what a session needs beside the program: each journey skips alone for a tool it lacks
HOSTS = {
    "trayer": "Xvfb trayer",
    "xfce": "Xvfb xfce4-panel",
    "gnome": "Xvfb gnome-shell gsettings import",
    "sway": "sway swaymsg wtype foot setpriv",
}


def need(tools, missing=()):  # CI installs them all: there a missing one is a failure
    missing = [*missing, *(t for t in tools.split() if not shutil.which(t))]
    if missing and os.environ.get("CI") == "true":
        raise AssertionError(f"missing {', '.join(missing)}")
    if missing:
        raise unittest.SkipTest(f"E2E-SKIP: missing {', '.join(missing)}")


# the Data file for (date-time, message, flag) rows, in CP932 as Windows writes it
def notices(rows):
    text = "".join(f"{j}\t{m}\t{f}\r\n" for j, m, f in rows).encode()
    return subprocess.run(
        ["iconv", "-f", "UTF-8", "-t", "CP932"], input=text, capture_output=True, check=True
    ).stdout


class PiruneSession(contextlib.AbstractContextManager):
    def __init__(
        self,
        data=b"",
        fake_time=None,
        prepare=None,
        wrap=(),
        host="trayer",
        late_host=False,
        wm=False,
        a11y=False,
        windows=False,
    ):
        if a11y and subprocess.run([A11Y_PYTHON, "-c", "import pyatspi"]).returncode:
            need("", ["python3-pyatspi"])
        x11 = " xdotool xwininfo xclip" * (host != "sway")
        tools = f"{HOSTS[host]} dbus-daemon dbus-send{x11}"
        need(tools + " faketime" * bool(fake_time) + " openbox xprop" * wm + " wine" * windows)
        # before ctest kills us
        signal.signal(signal.SIGALRM, lambda *_: self.check(False, "session timed out"))
        signal.alarm(190 if windows else 150)
        self.host, self.wm, self.wine, self.procs = host, wm, windows, {}
        self.root = tempfile.mkdtemp(prefix="pirune-e2e-")
        self.folder = os.path.join(self.root, "app")
        self.data_path = os.path.join(self.folder, "Pirune.dat")
        for d in ("app", "home", "runtime"):
            os.mkdir(os.path.join(self.root, d), 0o700)
        self.env = dict(PATH=os.environ["PATH"], LANG="C.UTF-8", TZ="UTC", NO_AT_BRIDGE="1")
        self.env.update(HOME=self.root + "/home", XDG_RUNTIME_DIR=self.root + "/runtime")
        self.env["PIRUNE_E2E"] = self.root  # the mark of all it starts
        if a11y:  # as under a screen reader: an accessibility bus, and Qt's bridge to it
            del self.env["NO_AT_BRIDGE"]
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        try:
            if host != "sway":
                self.spawn("xvfb", "Xvfb -displayfd 1 -screen 0 1920x1080x24 -noreset".split())
                self.env["DISPLAY"] = ":" + self.printed("xvfb", r"\d+")
            self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("bus")
            if a11y:  # up before the program asks for it, or the session bus would start another
                self.spawn("a11y", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
                ask = "org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus"
                self.wait_for(lambda: "true" in self.dbus(ask), 10, "the accessibility bus")
            if not late_host:
                self.start_host()
            if wm:  # openbox, after the panel: one mapped during its start-up may stay unmapped
                self.spawn("wm", ["openbox", "--sm-disable"])
                self.wait_for(lambda: "_NET_SUPPORTING" in self.x("xprop", "-root"), 10, "openbox")
            if windows:  # in a Wine prefix of its own, made with the display and the tray up
                self.env.update(WINEPREFIX=self.root + "/wine", WINEDEBUG="-all")
                self.spawn("wineboot", ["wineboot", "-i"]).wait()
            name = "Pirune.exe" if windows else "Pirune"
            shutil.copy2(EXE, os.path.join(self.folder, name))
            if data is not None:
                pathlib.Path(self.data_path).write_bytes(data)
            if prepare:
                prepare(self.folder)
            while fake_time and time.time() % 1 > 0.9:
                time.sleep(0.02)  # faketime keeps the real fraction of a second: start early in one
            self.started = int(time.time())  # when the program's clock reads fake_time
            clock = ["faketime", fake_time] if fake_time else []
            run = ["wine", name] if windows else ["./" + name]
            self.spawn("pirune", [*wrap, *clock, *run], cwd=self.folder)
            if not late_host and host != "sway":
                self.wait_for(self.tray_icons, 15, "the tray icon")
        except BaseException:
            self.__exit__()
            raise

    def __exit__(self, *_):
        signal.alarm(0)
        # each leads its own group: faketime's child too
        for key, p in sorted(self.procs.items(), key=lambda item: item[0] == "xvfb"):
            with contextlib.suppress(ProcessLookupError):
                os.killpg(p.pid, signal.SIGKILL)
            p.wait()
            # a killed faketime's, which a later faketime of the same pid would fail on
            for left in glob.glob(f"/dev/shm/*faketime_s[eh]m_{p.pid}"):
                os.unlink(left)
        mark = b"PIRUNE_E2E=" + self.root.encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):  # and what the bus started
            with contextlib.suppress(OSError):  # gone, or another user's
                if mark in pathlib.Path(f"/proc/{pid}/environ").read_bytes().split(b"\0"):
                    os.kill(int(pid), signal.SIGKILL)
        shutil.rmtree(self.root, ignore_errors=True)

    def spawn(self, key, cmd, cwd=None, env=None):  # in a group of its own, its output in key.log
        with open(os.path.join(self.root, key + ".log"), "ab") as log:
            options = dict(stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
            self.procs[key] = subprocess.Popen(cmd, env=env or self.env, cwd=cwd, **options)
            return self.procs[key]

    def log(self, key):
        path = pathlib.Path(self.root, key + ".log")
        return path.read_bytes().decode("utf-8", "replace") if path.exists() else ""

    # the first whole line of the output that matches, once there is one
    def printed(self, key, pattern):
        lines = lambda: re.findall(f"^{pattern}$", self.log(key), re.M)  # noqa: E731
        return self.wait_for(lines, 10, f"{key} to start")[0]

    def start_bus(self, key):  # a private bus; its address
        conf, address = HERE + "/session-bus.conf", "unix:dir=" + self.root
        bus = ["dbus-daemon", "--config-file", conf, "--nofork", "--address", address]
        self.spawn(key, [*bus, "--print-address=1"])
        return self.printed(key, r"unix:\S+")

    # "trayer" (XEmbed); "xfce", "gnome" (StatusNotifierItem); "sway" (Wayland, none at all)
    def start_host(self):
        if self.host == "sway":
            self.start_sway()
        elif self.host == "trayer":
            self.spawn("trayer", TRAYER.split())
            panel = lambda: any(w.name == "panel" for w in self.windows())  # noqa: E731
            self.wait_for(panel, 10, "trayer's panel")
        elif self.host == "xfce":
            xfconf = self.env["HOME"] + "/.config/xfce4/xfconf/xfce-perchannel-xml"
            shutil.copytree(HERE + "/xfconf", xfconf)
            self.spawn("panel", ["xfce4-panel", "--disable-wm-check"])
            self.wait_for(self.sni_host, 15, "the panel's notification area")
        elif self.host == "gnome":  # with the AppIndicator extension; the shell needs a system bus
            self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.start_bus("system-bus")
            self.env["XDG_CURRENT_DESKTOP"] = "GNOME"
            extension = "['ubuntu-appindicators@ubuntu.com']"
            self.x("gsettings", "set", "org.gnome.shell", "enabled-extensions", extension)
            self.x("gsettings", "set", "org.gnome.shell", "disable-user-extensions", "false")
            self.spawn("shell", ["gnome-shell", "--x11", "--replace", "--sm-disable"])
            self.wait_for(self.sni_host, 30, "GNOME Shell's notification area")

    # sway, which gives every new window the focus, and a terminal that has it, where what the user
    # types goes to the file "typed"
    def start_sway(self):
        home, user = self.root + "/sway", []
        os.mkdir(home, 0o700)
        if os.geteuid() == 0:  # sway refuses to run as root
            os.chmod(self.root, 0o711)
            os.chown(home, pwd.getpwnam("nobody").pw_uid, -1)
            user = "setpriv --reuid=nobody --regid=nogroup --clear-groups".split()
        wlr = dict(WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
        env = dict(self.env, HOME=home, XDG_RUNTIME_DIR=home, **wlr)
        self.spawn("sway", [*user, "sway", "-c", "/dev/null"], env=env)
        wayland = self.wait_for(lambda: glob.glob(home + "/wayland-?"), 10, "sway")[0]
        ipc = self.wait_for(lambda: glob.glob(home + "/sway-ipc.*"), 10, "sway's IPC")[0]
        self.env.update(WAYLAND_DISPLAY=wayland, SWAYSOCK=ipc, QT_QPA_PLATFORM="wayland")
        sink = f"stty raw -echo; exec cat > {self.root}/typed"
        self.spawn("terminal", ["foot", "sh", "-c", sink])
        self.wait_for(self.sway_windows, 10, "the terminal")

    def sway_windows(self):  # every window's node
        nodes = []
        json.loads(self.x("swaymsg", "-t", "get_tree"), object_hook=lambda n: nodes.append(n) or n)
        return [n for n in nodes if "pid" in n]

    def dbus(self, call, check=True):  # "service path method arguments..."; the reply
        return self.x(*f"dbus-send --session --print-reply --dest={call}".split(), check=check)

    # of the watcher, or of an item named as the watcher lists it
    def dbus_property(self, name, item=WATCHER + "/StatusNotifierWatcher", interface=WATCHER):
        service, path = item.split("/", 1)
        get = "org.freedesktop.DBus.Properties.Get"
        return self.dbus(f"{service} /{path} {get} string:{interface} string:{name}", check=False)

    def sni_host(self):
        return "true" in self.dbus_property("IsStatusNotifierHostRegistered")

    def sni_items(self):
        return re.findall(r'"([^"]+)"', self.dbus_property("RegisteredStatusNotifierItems"))

    def data_bytes(self):
        return pathlib.Path(self.data_path).read_bytes() if os.path.isfile(self.data_path) else None

    def x(self, *cmd, check=True, binary=False, **kw):  # its output
        done = subprocess.run(cmd, env=self.env, capture_output=True, timeout=20, check=check, **kw)
        return done.stdout if binary else done.stdout.decode()

    def xdotool(self, words, *more):  # the words of a command line, then more as they are
        return self.x("xdotool", *words.split(), *more)

    # the visible named windows at the top level (in GNOME Shell: in its frames), or all below where
    def windows(self, *where):
        if self.host == "sway":  # the terminal aside
            at = lambda r: (r["width"], r["height"], r["x"], r["y"])  # noqa: E731
            nodes = [n for n in self.sway_windows() if n["app_id"] != "foot"]
            return [Window(n["id"], n["name"], *at(n["rect"]), False) for n in nodes]
        if self.wm and not where:  # the programs' windows sit inside the manager's frames
            found = self.x("xdotool", "search", "--onlyvisible", "--name", ".", check=False).split()
        else:
            top = ("-root", "-tree") if self.host == "gnome" else ("-root", "-children")
            found = re.findall(r'^\s+(0x[0-9a-f]+) "', self.x("xwininfo", *(where or top)), re.M)
        return [w for w in map(self.window, found) if w]

    def window(self, wid):  # one window, where it is on the screen
        info = self.x("xwininfo", "-id", wid, check=False)
        named = re.search(r'Window id: (0x[0-9a-f]+) (?:"(.*)"|\(has no name\))', info)
        if not named or "IsViewable" not in info:
            return None
        at = [int(re.search(k + r":\s+(-?\d+)", info)[1]) for k in ("Width", "Height", "X", "Y")]
        return Window(int(named[1], 16), named[2], *at, "Redirect State: yes" in info)

    # menus and the panels' windows aside; or those titled so
    def program_windows(self, title=None):
        shown = [w for w in self.windows() if not w.menu and w.name not in PANELS]
        return [w for w in shown if title in (None, w.name)]

    # Xfce's panel draws the items in its plugin's window, GNOME Shell in its top bar
    def tray_icons(self):
        if self.wine:  # Wine docks a nameless window of its explorer.exe
            found = self.x(*"xdotool search --onlyvisible --class explorer".split(), check=False)
            return [w for w in map(self.window, found.split()) if w and not w.menu]  # no tooltip
        if self.host in ("xfce", "gnome") and not self.sni_items():
            return []
        if self.host == "gnome":  # a lone item, once drawn, left of the system menu
            icon = Window(0, "Pirune", 12, 12, 1920 - 76, 10, False)
            shot = f"import -window root -crop 12x12+{icon.x}+{icon.y} -depth 8 gray:-".split()
            gray = self.x(*shot, check=False, binary=True)
            return [icon] if sum(gray) > 80 * len(gray) else []
        top = {w.id for w in self.windows()}
        name = "wrapper-2.0" if self.host == "xfce" else "Pirune"
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

    def wait_data(self, rows, timeout, what):  # until the Data file holds these rows
        data = notices(rows)
        self.wait_for(lambda: self.data_bytes() == data, timeout, what)

    # a control or spot of window; or the icon
    def click(self, window=None, spot=None, button=1, repeat=1):
        window = window or self.wait_for(self.tray_icons, 5, "the tray icon")[0]
        dx, dy = MAIN.get(spot, spot) if spot else (window.width // 2, window.height // 2)
        x, y = window.x + dx, window.y + dy
        self.xdotool(f"mousemove {x} {y} click --repeat {repeat} --delay 80 {button}")

    # right click on the icon, then an item's access key; with opens, the window so titled it opens
    def menu_command(self, key, opens=None):
        def menu():
            return [w for w in self.windows() if w.menu and w.name in ("Pirune", "wrapper-2.0")]

        # a window being activated just then closes the menu, as it would for a user
        for _ in range(3):
            self.click(button=3)
            if any(menu() or time.sleep(0.1) for _ in range(10)):
                self.key(key)
                return self.wait_window(opens) if opens else None
        self.check(False, "no menu")

    def open_main(self):  # with a double click on the icon
        self.click(repeat=2)
        return self.wait_window("Pirune")

    # a key to the window titled so, which then closes; after a pause: one just come up takes none
    def answer(self, title, key, pause=0.0):
        window = self.wait_window(title)
        time.sleep(pause)
        self.key(key, window=window)
        self.wait_no_window(title)

    # to window, given the focus first: there is no window manager to give it; on sway, to the
    # window that has the focus
    def key(self, *keys, window=None):
        if self.host == "sway":
            # wtype's keyboard is new each time: a first key sent at once may come before its keymap
            return self.x("wtype", "-s", "300", *(a for k in keys for a in ("-k", k)))
        focus = f"windowfocus --sync {window.id} " if window else ""
        self.xdotool(focus + "key --delay 30", *keys)

    def copy_text(self, window, spot):  # select all of a text control, copy it, read the clipboard
        self.click(window, spot)
        self.key("ctrl+a", "ctrl+c", window=window)
        time.sleep(0.2)
        return self.x("xclip", "-o", "-selection", "clipboard")

    # what a screen reader reads of the windows, or does (see a11y_client.py)
    def a11y(self, *args):
        return self.x(A11Y_PYTHON, HERE + "/a11y_client.py", *args)

    def a11y_events(self):  # what a screen reader has been told since the first call
        if "events" not in self.procs:
            self.spawn("events", [A11Y_PYTHON, HERE + "/a11y_client.py", "--events"])
            self.wait_for(lambda: "listening" in self.log("events"), 10, "the event listener")
        return [json.loads(l) for l in self.log("events").splitlines() if l.startswith("[")]

    def check(self, condition, message):
        if not condition:
            seen = self.windows() if "DISPLAY" in self.env or self.host == "sway" else "no X"
            raise AssertionError(
                f"{message}\nwindows: {seen}\n"
                f"Pirune.dat: {self.data_bytes()!r}\nprogram output:\n{self.log('pirune')}"
            )

"""Runs the built Pirune on its own X server, beside a real tray host, and drives it like a user.

    with PiruneSession(exe, "case-name", data=notices_bytes([...]), fake_time="2026-12-07 09:04:55") as s:
        s.double_click_tray()
        main = s.wait_window("Pirune")
        ...

Each session has its own Xvfb display (or Weston), session bus, notification area and copy of the
program in a fresh temporary folder (the program keeps one instance per folder, so sessions never
meet). Everything started, also what the bus starts on demand, is stopped by process id when the
block ends, whatever happened inside it. A screenshot
of the final screen is saved under the screens folder as <name>.png; failures raised with
session.fail()/session.check() carry the window list and the Data file's bytes.

Text is read through the clipboard (copy_text) from the program's own windows; a message box's
text cannot be copied on X11, so boxes are told apart by title and by what their answer does.
"""

import ctypes
import datetime
import math
import os
import random
import re
import shutil
import signal
import subprocess
import tempfile
import time
from typing import Callable, List, NamedTuple, Optional

DATA_FILE = "Pirune.dat"
TOOLS = ("Xvfb", "trayer", "xdotool", "xwininfo", "xclip", "import", "dbus-daemon", "dbus-send", "xfce4-panel",
         "weston", "xrdb")
HERE = os.path.dirname(os.path.abspath(__file__))
WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher")

# Layout of the main window, in pixels from its top-left (no window manager, so no frame).
GROUP = (8, 168)
MAIN = {
    "list": (8 + 40, 24 + 10),                 # first row of lstItiran
    "date": (GROUP[0] + 104 + 8, GROUP[1] + 16 + 12),
    "time": (GROUP[0] + 192 + 20, GROUP[1] + 16 + 12),
    "message": (GROUP[0] + 104 + 150, GROUP[1] + 40 + 15),
    "add": (GROUP[0] + 8 + 32, GROUP[1] + 88 + 12),
    "change": (GROUP[0] + 80 + 32, GROUP[1] + 88 + 12),
    "delete": (GROUP[0] + 152 + 32, GROUP[1] + 88 + 12),
    "clear": (GROUP[0] + 224 + 32, GROUP[1] + 88 + 12),
    "close": (536 + 32, 296 + 12),
}


def missing_tools() -> List[str]:
    return [t for t in TOOLS if shutil.which(t) is None]


def notices_bytes(notices) -> bytes:
    """The Data file's bytes for (date-time, message, flag) triples: tab-separated, CP932, CR LF."""
    return b"".join(f"{j}\t{m}\t{f}\r\n".encode("cp932") for j, m, f in notices)


class Window(NamedTuple):
    id: int
    name: str
    x: int
    y: int
    width: int
    height: int
    mapped: bool
    override_redirect: bool  # menus and tooltips

    @property
    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2


_IGNORE_X_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda _d, _e: 0)


class E2EFailure(AssertionError):
    pass


def _environ(pid) -> List[bytes]:
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return f.read().split(b"\0")
    except OSError:  # gone, or another user's
        return []


_TREE_LINE = re.compile(
    r'^(?P<indent>\s+)(?P<id>0x[0-9a-f]+) "(?P<name>(?:[^"\\]|\\.)*)":.*?'
    r"(?P<w>\d+)x(?P<h>\d+)[+-]-?\d+[+-]-?\d+\s+\+(?P<x>-?\d+)\+(?P<y>-?\d+)\s*$"
)


class PiruneSession:
    def __init__(
        self,
        exe: str,
        name: str,
        data: Optional[bytes] = b"",
        fake_time: Optional[str] = None,
        screens_dir: Optional[str] = None,
        prepare: Optional[Callable[[str], None]] = None,
        screen: str = "1024x768x24",
        wait_for_tray: bool = True,
        host: str = "trayer",
        late_host: bool = False,
        dpi: Optional[int] = None,
    ):
        """data=None leaves the folder without a Data file; prepare(folder) runs just before the start.
        host: "trayer" (XEmbed), "xfce" (xfce4-panel, StatusNotifierItem) or "weston" (Wayland, no
        notification area); late_host leaves it to start_host()."""
        self.exe = os.path.abspath(exe)
        self.name = name
        self.data = data
        self.fake_time = fake_time
        self.screens_dir = screens_dir or os.environ.get("PIRUNE_E2E_SCREENS") or os.path.join(
            tempfile.gettempdir(), "pirune-e2e-screens"
        )
        self.prepare = prepare
        self.screen = screen
        self.wait_for_tray = wait_for_tray and not late_host and host != "weston"
        self.host, self.late_host, self.dpi = host, late_host, dpi
        self.folder = ""
        self.display = ""
        self.started_at = 0.0  # time.monotonic() just before the program was started
        self.started_wall = 0.0  # time.time() then
        self._root = ""
        self._procs = {}

    # ---- start and stop -------------------------------------------------------------------

    def __enter__(self):
        # Ends the session (and all it started) before ctest would kill this process outright.
        signal.signal(signal.SIGALRM, lambda *_: self.fail("session timed out"))
        signal.alarm(150)
        try:
            self._start()
        except BaseException:
            self._stop(failed=True)
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        self._stop(failed=exc_type is not None)
        return False

    def _start(self):
        self._root = tempfile.mkdtemp(prefix="pirune-e2e-")
        self.folder = os.path.join(self._root, "app")
        os.mkdir(self.folder)
        runtime = os.path.join(self._root, "runtime")
        os.mkdir(runtime, 0o700)
        self.env = dict(os.environ)
        # Every process of the session, also those the bus starts on demand, inherits the mark.
        self.env.update({"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "TZ": "UTC", "XDG_RUNTIME_DIR": runtime,
                         "HOME": os.path.join(self._root, "home"), "NO_AT_BRIDGE": "1", "PIRUNE_E2E": self._root})
        os.mkdir(self.env["HOME"])
        for var in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY"):
            self.env.pop(var, None)
        if self.host != "weston":
            self._start_xvfb()
            self.env["DISPLAY"] = self.display
        if self.dpi:
            subprocess.run(["xrdb", "-nocpp", "-merge"], input=f"Xft.dpi: {self.dpi}\n".encode(), env=self.env,
                           check=True)
        self._spawn("bus", ["dbus-daemon", "--config-file", os.path.join(HERE, "session-bus.conf"), "--nofork",
                            "--address", "unix:dir=" + self._root, "--print-address=1"])
        address = self.wait_for(lambda: re.findall(r"^unix:\S+", self.log("bus"), re.M), 10, "the session bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address[0]
        if not self.late_host:
            self.start_host()
        shutil.copy2(self.exe, os.path.join(self.folder, "Pirune"))
        if self.data is not None:
            with open(self.data_path, "wb") as f:
                f.write(self.data)
        if self.prepare:
            self.prepare(self.folder)
        self.start_program()

    def start_host(self):
        getattr(self, "_host_" + self.host)()

    def _host_trayer(self):
        self._spawn("trayer", ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                               "--width", "200", "--height", "32"])
        self.wait_for(lambda: any(w.name == "panel" and w.mapped for w in self.windows(visible_only=False)),
                      10, "trayer's panel")

    def _host_xfce(self):
        conf = os.path.join(self.env["HOME"], ".config", "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(conf)
        shutil.copy(os.path.join(HERE, "xfce4-panel.xml"), conf)
        self._spawn("panel", ["xfce4-panel", "--disable-wm-check"])
        self.wait_for(lambda: "true" in self.dbus_property(*WATCHER, "IsStatusNotifierHostRegistered"),
                      15, "the panel's notification area")

    def _host_weston(self):
        self.env.update({"WAYLAND_DISPLAY": "wayland-pirune", "QT_QPA_PLATFORM": "wayland"})
        self._spawn("weston", ["weston", "--backend=headless-backend.so", "--use-pixman", "--idle-time=0",
                               "--socket=wayland-pirune"])
        self.wait_for(lambda: os.path.exists(os.path.join(self.env["XDG_RUNTIME_DIR"], "wayland-pirune")),
                      10, "weston")
        # The compositor tells nothing about a client's windows; the program's own requests in its log do.
        self.env["WAYLAND_DEBUG"] = "client"

    def dbus_property(self, service, path, interface, name) -> str:
        return self.x("dbus-send", "--session", "--print-reply", "--dest=" + service, path,
                      "org.freedesktop.DBus.Properties.Get", "string:" + interface, "string:" + name, check=False)

    def sni_items(self) -> List[str]:
        return re.findall(r'"([^"]+)"', self.dbus_property(*WATCHER, "RegisteredStatusNotifierItems"))

    # A command the program is started behind: another user, a resource limit.
    wrap = ()

    def start_program(self):
        """Starts (or starts again) the program in the session's folder."""
        cmd = ["./Pirune"]
        if self.fake_time:
            cmd = ["faketime", self.fake_time] + cmd
            # faketime keeps the real clock's fraction of a second: its clock reads fake_time at the
            # whole second the program starts in. Not starting at the end of a second keeps that
            # second the one read here.
            while time.time() % 1 > 0.9:
                time.sleep(0.02)
        self.started_at = time.monotonic()
        self.started_wall = time.time()
        self._spawn("pirune", list(self.wrap) + cmd, cwd=self.folder)
        if self.wait_for_tray:
            self.wait_tray_icon()

    def _start_xvfb(self):
        # A high, random display number keeps clear of displays others start by hand; Xvfb's own
        # lock file settles races with other sessions.
        for _ in range(20):
            n = random.randint(200, 899)
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            proc = self._spawn("xvfb", ["Xvfb", f":{n}", "-screen", "0", self.screen, "-nolisten", "tcp", "-noreset"])
            self.display = f":{n}"
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and proc.poll() is None:
                probe = subprocess.run(["xwininfo", "-root", "-display", self.display],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if probe.returncode == 0:
                    return
                time.sleep(0.05)
            self._kill("xvfb")
        raise E2EFailure("could not start Xvfb on a free display")

    def _spawn(self, key, cmd, cwd=None):
        log = open(os.path.join(self._root, f"{key}.log"), "ab")
        proc = subprocess.Popen(cmd, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                stderr=subprocess.STDOUT, start_new_session=True)
        log.close()
        self._procs[key] = proc
        return proc

    def _kill(self, key):
        proc = self._procs.pop(key, None)
        if proc is None:
            return
        # Each child leads its own group: faketime's child goes with it.
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(proc.pid, sig)
            except ProcessLookupError:
                pass
            try:
                proc.wait(timeout=3)
                try:
                    os.killpg(proc.pid, signal.SIGKILL)  # stragglers of the group
                except ProcessLookupError:
                    pass
                return
            except subprocess.TimeoutExpired:
                continue

    def _stop(self, failed):
        signal.alarm(0)
        try:
            if "xvfb" in self._procs:
                self.screenshot(self.name + ("-FAILED" if failed else ""))
            if not failed:
                os.remove(os.path.join(self.screens_dir, self.name + "-FAILED.png"))
        except Exception:
            pass
        for key in [k for k in self._procs if k != "xvfb"] + ["xvfb"]:
            self._kill(key)
        for pid in self._marked_processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self._root:
            if failed and os.environ.get("PIRUNE_E2E_KEEP"):
                print(f"kept {self._root}")
            else:
                shutil.rmtree(self._root, ignore_errors=True)

    def _marked_processes(self) -> List[int]:
        mark = b"PIRUNE_E2E=" + self._root.encode()
        return [int(pid) for pid in filter(str.isdigit, os.listdir("/proc")) if mark in _environ(pid)]

    # ---- the program -----------------------------------------------------------------------

    @property
    def data_path(self):
        return os.path.join(self.folder, DATA_FILE)

    def data_bytes(self) -> Optional[bytes]:
        try:
            with open(self.data_path, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None
        except IsADirectoryError:
            return None

    def wall_time_of(self, fake: str) -> float:
        """The real time.time() at which the program's (faked) clock reads fake, "YYYY-MM-DD hh:mm:ss"."""
        fmt = "%Y-%m-%d %H:%M:%S"
        delta = (datetime.datetime.strptime(fake, fmt) - datetime.datetime.strptime(self.fake_time, fmt))
        return math.floor(self.started_wall) + delta.total_seconds()

    def program_running(self) -> bool:
        proc = self._procs.get("pirune")
        return proc is not None and proc.poll() is None

    def wait_program_exit(self, timeout) -> Optional[int]:
        proc = self._procs.get("pirune")
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def program_log(self) -> str:
        return self.log("pirune")

    def log(self, key) -> str:
        try:
            with open(os.path.join(self._root, key + ".log"), "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    # ---- X -----------------------------------------------------------------------------------

    def x(self, *cmd, check=True, timeout=10) -> str:
        r = subprocess.run(list(cmd), env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=timeout)
        if check and r.returncode != 0:
            raise E2EFailure(f"{' '.join(cmd)} failed: {r.stderr.decode('utf-8', 'replace')}")
        return r.stdout.decode("utf-8", "replace")

    def _tree(self):
        """(depth, id, name, x, y, w, h) of every named window."""
        for attempt in range(3):
            try:
                tree = self.x("xwininfo", "-root", "-tree")
                break
            except E2EFailure:  # a window went away during the walk
                if attempt == 2:
                    raise
        out = []
        for line in tree.splitlines():
            m = _TREE_LINE.match(line)
            if m:
                out.append((len(m.group("indent")), int(m.group("id"), 16), m.group("name"), int(m.group("x")),
                            int(m.group("y")), int(m.group("w")), int(m.group("h"))))
        return out

    def _state(self, wid):
        info = self.x("xwininfo", "-id", hex(wid), check=False)
        return "IsViewable" in info, "Override Redirect State: yes" in info

    def windows(self, visible_only=True) -> List[Window]:
        """Top-level windows that have a name (the root's children)."""
        tree = self._tree()
        top = min((t[0] for t in tree), default=0)
        result = []
        for depth, wid, name, x, y, w, h in tree:
            if depth != top:
                continue
            mapped, override = self._state(wid)
            if visible_only and not mapped:
                continue
            result.append(Window(wid, name, x, y, w, h, mapped, override))
        return result

    def find_windows(self, title) -> List[Window]:
        """Visible ordinary windows (no menus) with exactly this title."""
        return [w for w in self.windows() if w.name == title and not w.override_redirect]

    def message_boxes(self, exclude=()) -> List[Window]:
        """Visible windows with a message box's title ("Pirune", "ｴﾗｰ", "確認"), less those in exclude
        (windows or ids; pass the main window, which is titled "Pirune" too)."""
        skip = {w.id if isinstance(w, Window) else w for w in exclude}
        return [w for w in self.windows() if not w.override_redirect and w.id not in skip
                and w.name in ("Pirune", "ｴﾗｰ", "確認")]

    def menus(self) -> List[Window]:
        return [w for w in self.windows() if w.override_redirect and w.name in ("Pirune", "wrapper-2.0")]

    def tray_icons(self) -> List[Window]:
        """The program's icons inside the panel (one, when all is well). Xfce's panel draws the items
        registered with it in its plugin's window."""
        name = "Pirune"
        if self.host == "xfce":
            if not self.sni_items():
                return []
            name = "wrapper-2.0"
        tree = self._tree()
        top = min((t[0] for t in tree), default=0)
        icons = []
        for depth, wid, title, x, y, w, h in tree:
            if depth > top and title == name:
                mapped, _ = self._state(wid)
                if mapped:
                    icons.append(Window(wid, title, x, y, w, h, mapped, False))
        return icons

    def tray_icon(self) -> Optional[Window]:
        icons = self.tray_icons()
        return icons[0] if icons else None

    def tray_icon_position(self):
        icon = self.tray_icon()
        if icon is None:
            self.fail("no tray icon")
        return icon.centre

    def wait_tray_icon(self, timeout=15) -> Window:
        return self.wait_for(self.tray_icon, timeout, "the tray icon")

    def wait_for(self, probe, timeout, what, interval=0.05):
        deadline = time.monotonic() + timeout
        while True:
            value = probe()
            if value:
                return value
            if time.monotonic() > deadline:
                self.fail(f"waited {timeout}s for {what}")
            time.sleep(interval)

    def wait_window(self, title, timeout=10) -> Window:
        found = self.wait_for(lambda: self.find_windows(title), timeout, f'a window "{title}"')
        return found[0]

    def wait_no_window(self, title, timeout=5):
        self.wait_for(lambda: not self.find_windows(title), timeout, f'no window "{title}"')

    def wait_menu(self, timeout=5) -> Window:
        return self.wait_for(self.menus, timeout, "the popup menu")[0]

    # ---- input -------------------------------------------------------------------------------

    def click(self, x, y, button=1, repeat=1):
        args = ["xdotool", "mousemove", str(x), str(y), "click"]
        if repeat > 1:
            args += ["--repeat", str(repeat), "--delay", "80"]
        self.x(*args, str(button))

    def click_in(self, window: Window, dx, dy, button=1):
        self.click(window.x + dx, window.y + dy, button)

    def click_control(self, window: Window, control):
        """Clicks one of the main window's controls named in MAIN."""
        self.click_in(window, *MAIN[control])

    def double_click_tray(self):
        x, y = self.tray_icon_position()
        self.click(x, y, repeat=2)

    def right_click_tray(self) -> Window:
        x, y = self.tray_icon_position()
        self.click(x, y, button=3)
        return self.wait_menu()

    def menu_command(self, access_key):
        """Right click on the icon and choose a menu item by its access key (v, s, x)."""
        self.right_click_tray()
        self.key(access_key)

    def close_window(self, window: Window):
        """What a window manager's close box does: sends the window WM_DELETE_WINDOW."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XSetErrorHandler(_IGNORE_X_ERRORS)  # a window already gone would end this process
        dpy = ctypes.c_void_p(x11.XOpenDisplay(self.display.encode()))
        # An XClientMessageEvent as longs: type, serial, send_event, display, window, message_type,
        # format, data.
        event = (ctypes.c_long * 24)(33, 0, 0, 0, window.id, x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0), 32,
                                     x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0))
        x11.XSendEvent(dpy, ctypes.c_ulong(window.id), 0, 0, event)
        x11.XCloseDisplay(dpy)

    def focus(self, window: Window):
        # No window manager gives focus to new windows; a user's click or Alt+Tab would.
        self.x("xdotool", "windowfocus", "--sync", str(window.id))

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "30", *keys)

    def type_text(self, text):
        self.x("xdotool", "type", "--delay", "20", text)

    def clipboard(self) -> str:
        return self.x("xclip", "-o", "-selection", "clipboard", check=False, timeout=5)

    def copy_text(self, window: Window, dx, dy) -> str:
        """Clicks a text control of the window, selects all and copies it: the control's text."""
        self.focus(window)
        self.click_in(window, dx, dy)
        self.key("ctrl+a", "ctrl+c")
        time.sleep(0.2)
        return self.clipboard()

    # ---- evidence ----------------------------------------------------------------------------

    def screenshot(self, name, window: Optional[Window] = None, path: Optional[str] = None) -> str:
        """Saves the screen, or only the window, as <screens>/<name>.png (or at path)."""
        if path is None:
            os.makedirs(self.screens_dir, exist_ok=True)
            path = os.path.join(self.screens_dir, name + ".png")
        args = ["import", "-window", "root", "-depth", "8"]
        if window is not None:
            args += ["-crop", f"{window.width}x{window.height}+{window.x}+{window.y}", "+repage"]
        self.x(*args, path, timeout=20)
        return path

    def describe(self) -> str:
        try:
            wins = "\n".join(
                f"  {w.id:#x} {w.name!r} {w.width}x{w.height}+{w.x}+{w.y}"
                + (" (menu)" if w.override_redirect else "")
                for w in self.windows()
            ) or "  (none)"
        except Exception as e:  # the X server may be gone
            wins = f"  (could not list: {e})"
        icon = self.tray_icon() if "xvfb" in self._procs else None
        data = self.data_bytes()
        log = self.program_log().strip()
        return (f"visible windows:\n{wins}\ntray icon: {icon.centre if icon else None}\n"
                f"program running: {self.program_running()}\n"
                f"{DATA_FILE} bytes: {data!r}\n" + (f"program output:\n{log}\n" if log else ""))

    def fail(self, message):
        raise E2EFailure(f"{self.name}: {message}\n{self.describe()}")

    def check(self, condition, message):
        if not condition:
            self.fail(message)

    def check_data(self, expected: bytes, message="Data file"):
        actual = self.data_bytes()
        if actual != expected:
            self.fail(f"{message}: expected bytes\n  {expected!r}\nbut found\n  {actual!r}")

#!/usr/bin/env python3
"""Measures the real Pirune executable on a private X display with a tray.

  start-up: from starting the process to its icon sitting in trayer's panel, with an empty Data
            file and with a 32,768-notice one; and, as the icon is docked by the panel while the
            program may still be reading its file, also to the program's first answer to a
            request on its single-instance socket (which it can give only once start-up is over);
  memory:   resident set (VmRSS) after 10 s idle with 1,000 notices;
  wake-ups: the main thread's voluntary context switches per minute while idle, with an empty Data
            file and with a 32,768-notice one (--wake-minutes, 0 skips);
  due:      from hh:nn:00 to a due notice's message window being mapped, under faketime with the
            end-to-end harness (--due-runs, 0 skips).

Each run copies the executable into a fresh temporary folder (the program keeps its Data file
beside itself and allows one instance per folder). Needs Xvfb, trayer and xwininfo
(scripts/install-deps.sh test).

  scripts/measure-real.py [--exe build/Pirune] [--runs 7] [--idle 10] [--json out.json] [--icon-only]
                          [--wake-minutes 1] [--due-runs 7] [--only-timer]
"""

import argparse
import ctypes
import datetime
import json
import os
import random
import re
import select
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TREE_LINE = re.compile(r'^(?P<indent>\s*)0x[0-9a-f]+ (?:"(?P<name>[^"]*)"|\(has no name\))')


def notices(count, now=None):
    """The Data file's bytes for `count` notices shaped like bench/BenchData.cpp's: sorted, 37
    minutes apart with every 16th date-time repeated, the first quarter past and shown, the rest
    pending from tomorrow on."""
    now = now or datetime.datetime.now().replace(second=0, microsecond=0)
    past = count // 4
    first_past = now - datetime.timedelta(minutes=37 * (past + 1))
    first_future = now + datetime.timedelta(days=1)
    lines = []
    previous = ""
    for i in range(count):
        when = (
            first_past + datetime.timedelta(minutes=37 * i)
            if i < past
            else first_future + datetime.timedelta(minutes=37 * (i - past))
        )
        jikoku = previous if (i % 16 == 15 and i != past) else when.strftime("%Y/%m/%d %H:%M")
        previous = jikoku
        mes = f"打ち合わせ {i} の準備\\n資料を印刷して会議室へ"
        lines.append(f"{jikoku}\t{mes}\t{'1' if i < past else '0'}\r\n")
    return "".join(lines).encode("cp932")


class Display:
    """Xvfb with trayer's panel on it."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.procs = []
        self.env = dict(os.environ)
        runtime = os.path.join(workdir, "runtime")
        os.mkdir(runtime, 0o700)
        self.env.update({"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "XDG_RUNTIME_DIR": runtime})
        for var in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"):
            self.env.pop(var, None)

    def __enter__(self):
        for _ in range(20):
            n = random.randint(200, 899)
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            xvfb = self.spawn(["Xvfb", f":{n}", "-screen", "0", "1280x800x24", "-nolisten", "tcp"])
            self.env["DISPLAY"] = f":{n}"
            if wait_for(lambda: xvfb.poll() is None and self.xwininfo_ok(), 10):
                break
            self.stop(xvfb)
        else:
            sys.exit("could not start Xvfb")
        self.spawn(
            "trayer --edge bottom --align right --widthtype pixel --width 200 --height 32".split()
        )
        if not wait_for(lambda: self.panel_children() is not None, 10):
            sys.exit("trayer's panel did not appear")
        return self

    def __exit__(self, *exc):
        for p in reversed(self.procs):
            self.stop(p)

    def spawn(self, cmd, cwd=None):
        p = subprocess.Popen(
            cmd,
            cwd=cwd,
            env=self.env,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,
        )
        self.procs.append(p)
        return p

    def stop(self, p):
        if p.poll() is None:
            os.killpg(p.pid, signal.SIGTERM)
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
        if p in self.procs:
            self.procs.remove(p)

    def xwininfo_ok(self):
        return (
            subprocess.run(
                ["xwininfo", "-root"],
                env=self.env,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
            ).returncode
            == 0
        )

    def panel_children(self):
        """Names of the windows inside trayer's "panel" window, or None while there is none."""
        out = subprocess.run(
            ["xwininfo", "-root", "-tree"],
            env=self.env,
            capture_output=True,
            text=True,
            errors="replace",
        ).stdout
        names = None
        panel_depth = None
        for line in out.splitlines():
            m = TREE_LINE.match(line)
            if not m:
                continue
            depth = len(m.group("indent"))
            if panel_depth is not None:
                if depth <= panel_depth:
                    break
                names.append(m.group("name"))
            elif m.group("name") == "panel":
                panel_depth = depth
                names = []
        return names


def wait_for(predicate, timeout, interval=0.005):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval)
    return False


def instance_socket(folder, runtime):
    """The path of the single-instance socket of a program started in `folder`."""
    st = os.stat(folder)
    return os.path.join(runtime, f"pirune-{st.st_dev:x}-{st.st_ino:x}")


def ask_to_show(folder, runtime, timeout=60):
    """Sends the "show" request a second start sends, and waits for the answer."""
    deadline = time.monotonic() + timeout
    path = instance_socket(folder, runtime)
    while True:
        try:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(max(0.1, deadline - time.monotonic()))
                s.connect(path)
                s.sendall(b"show\n")
                answer = b""
                while not answer.endswith(b"\n"):
                    chunk = s.recv(16)
                    if not chunk:
                        break
                    answer += chunk
                if answer.startswith(b"ok"):
                    return
        except OSError:
            pass
        if time.monotonic() > deadline:
            raise RuntimeError("no answer on the single-instance socket")
        time.sleep(0.002)


def run_once(display, exe, data, idle=None, ask=True):
    """Starts the program on `data`; returns (seconds to tray icon, seconds to its first answer,
    VmRSS/VmHWM kB after idle)."""
    folder = tempfile.mkdtemp(prefix="pirune-measure-", dir=display.workdir)
    try:
        shutil.copy2(exe, os.path.join(folder, "Pirune"))
        with open(os.path.join(folder, "Pirune.dat"), "wb") as f:
            f.write(data)
        t0 = time.monotonic()
        p = display.spawn(["./Pirune"], cwd=folder)
        if not wait_for(lambda: "Pirune" in (display.panel_children() or []), 60, interval=0.002):
            raise RuntimeError("no tray icon within 60 s")
        startup = time.monotonic() - t0
        ready = None
        if idle is None and ask:
            ask_to_show(folder, display.env["XDG_RUNTIME_DIR"])
            ready = time.monotonic() - t0
        memory = None
        if idle is not None:
            time.sleep(idle)
            if p.poll() is not None:
                raise RuntimeError("the program ended while idle")
            with open(f"/proc/{p.pid}/status") as f:
                status = dict(line.split(":", 1) for line in f if ":" in line)
            memory = {k: int(status[k].split()[0]) for k in ("VmRSS", "VmHWM")}
        display.stop(p)
        return startup, ready, memory
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def voluntary_switches(pid):
    # The main thread's task id is the process id.
    with open(f"/proc/{pid}/task/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    raise RuntimeError("no voluntary_ctxt_switches")


def wakeups_per_minute(display, exe, data, minutes):
    folder = tempfile.mkdtemp(prefix="pirune-measure-", dir=display.workdir)
    try:
        shutil.copy2(exe, os.path.join(folder, "Pirune"))
        with open(os.path.join(folder, "Pirune.dat"), "wb") as f:
            f.write(data)
        p = display.spawn(["./Pirune"], cwd=folder)
        if not wait_for(lambda: "Pirune" in (display.panel_children() or []), 60):
            raise RuntimeError("no tray icon within 60 s")
        time.sleep(3)  # start-up and the panel's docking settle
        before = voluntary_switches(p.pid)
        time.sleep(60 * minutes)
        after = voluntary_switches(p.pid)
        display.stop(p)
        return (after - before) / minutes
    finally:
        shutil.rmtree(folder, ignore_errors=True)


class MapWatch:
    """Reports top-level windows being mapped as the X server announces it (MapNotify on the root
    window), with the time the event arrived: polling with xwininfo would add its own latency."""

    MAP_NOTIFY = 19
    SUBSTRUCTURE_NOTIFY_MASK = 1 << 19

    def __init__(self, display):
        x = self.x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for name in (
            "XDefaultRootWindow",
            "XConnectionNumber",
            "XPending",
            "XFlush",
            "XCloseDisplay",
        ):
            getattr(x, name).argtypes = [ctypes.c_void_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open display {display}")
        x.XSelectInput(self.dpy, x.XDefaultRootWindow(self.dpy), self.SUBSTRUCTURE_NOTIFY_MASK)
        x.XFlush(self.dpy)

    def wait_map(self, timeout):
        """time.time() when the next window was mapped."""
        event = ctypes.create_string_buffer(192)  # sizeof(XEvent)
        deadline = time.time() + timeout
        while time.time() < deadline:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, event)
                arrived = time.time()
                if ctypes.c_int.from_buffer(event).value == self.MAP_NOTIFY:
                    return arrived
            select.select(
                [self.x.XConnectionNumber(self.dpy)], [], [], max(0.0, deadline - time.time())
            )
        raise RuntimeError("no window was mapped")

    def close(self):
        self.x.XCloseDisplay(self.dpy)


def due_latencies(exe, runs):
    """Seconds from hh:nn:00 (on the program's faked clock) to its message window being mapped."""
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    import pirune_e2e

    pirune_e2e.EXE = os.path.abspath(exe)
    data = pirune_e2e.notices([("2026/12/07 09:05", "due", "0")])
    out = []
    for k in range(runs):
        with pirune_e2e.PiruneSession(data=data, fake_time="2026-12-07 09:04:57") as s:
            watch = MapWatch(s.env["DISPLAY"])
            try:
                due = s.started + 3  # 09:05:00 on its clock
                out.append(watch.wait_map(due + 5 - time.time()) - due)
            finally:
                watch.close()
            s.wait_window("メッセージ")
    return out


def flood(exe, count, wm):
    """`count` missed notices answered with Yes: seconds to the last message window, the program's
    peak memory, and how long the tray menu took to open when asked for during the flood."""
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    import pirune_e2e

    pirune_e2e.EXE = os.path.abspath(exe)
    rows = [
        (f"2026/12/0{1 + k // 1440} {k // 60 % 24:02}:{k % 60:02}", f"通知 {k}", "0")
        for k in range(count)
    ]
    with pirune_e2e.PiruneSession(
        data=pirune_e2e.notices(rows), fake_time="2026-12-07 09:04:30", wm=wm
    ) as s:
        signal.alarm(0)  # the session's own deadline is for tests
        icon = s.tray_icons()[0]
        s.answer("確認", "Return", pirune_e2e.QUIET)  # a question just come up takes no key
        start = time.monotonic()
        opened = lambda: s.x("xwininfo", "-root", "-tree").count('"メッセージ"')  # noqa: E731
        wait_for(lambda: opened() > 0, 60, 0.05)
        asked = time.monotonic()
        s.click(icon, button=3)
        wait_for(lambda: '"Pirune"' in s.x("xwininfo", "-root", "-children"), 600, 0.02)
        menu = time.monotonic() - asked
        time.sleep(0.3)  # mapped before it holds the keyboard: an Escape then went to a window
        s.key("Escape")
        wait_for(lambda: opened() >= count, 900, 0.5)
        last = time.monotonic() - start
        pid = s.x("pgrep", "-P", str(s.procs["pirune"].pid)).split()[0]
        with open(f"/proc/{pid}/status") as f:
            peak = int(re.search(r"VmHWM:\s+(\d+)", f.read())[1])
    return {"last_window_s": last, "peak_MiB": peak / 1024, "menu_s": menu}


def flood_cases(exe, count):
    """`count` missed notices answered with Yes, twice. Once with the tray menu opened during the
    flood (the windows wait) while a line is appended to the Data file, then closed: how many
    windows opened, and how many flags say "1". Once with 終了 chosen during the flood: the windows
    opened before it, and the flags it left saying "1"."""
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    import pirune_e2e

    pirune_e2e.EXE = os.path.abspath(exe)
    rows = [
        (f"2026/12/0{1 + k // 1440} {k // 60 % 24:02}:{k % 60:02}", f"通知 {k}", "0")
        for k in range(count)
    ]
    figures = {}
    for case in ("append", "exit"):
        with pirune_e2e.PiruneSession(
            data=pirune_e2e.notices(rows), fake_time="2026-12-07 09:04:30"
        ) as s:
            signal.alarm(0)
            icon = s.tray_icons()[0]
            s.answer("確認", "Return", pirune_e2e.QUIET)  # a question just come up takes no key
            opened = lambda: s.x("xwininfo", "-root", "-tree").count('"メッセージ"')  # noqa: E731
            wait_for(lambda: opened() >= min(count, 60), 120, 0.05)
            s.click(icon, button=3)
            wait_for(lambda: '"Pirune"' in s.x("xwininfo", "-root", "-children"), 60, 0.02)
            before = opened()
            if case == "exit":
                s.key("x")
                s.procs["pirune"].wait(30)
                figures["exit"] = (before, s.data_bytes().count(b"\t1\r\n"))
                continue
            with open(os.path.join(s.folder, "Pirune.dat"), "ab") as f:
                f.write("2026/12/31 09:00\t外から\t0\r\n".encode("cp932"))
            time.sleep(2)  # the append is read while the menu holds the windows back
            asked = '"確認"' in s.x("xwininfo", "-root", "-tree")
            s.key("Escape")
            wait_for(lambda: s.data_bytes().count(b"\t1\r\n") >= count, 600, 0.5)
            time.sleep(2)
            figures["append"] = (before, opened(), s.data_bytes().count(b"\t1\r\n"), asked)
    return figures


def main():
    ap = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    ap.add_argument(
        "--exe", default=None, help="the executable (default: build-perf/Pirune, else build/Pirune)"
    )
    ap.add_argument("--runs", type=int, default=7, help="start-ups per Data file (default 7)")
    ap.add_argument(
        "--idle", type=float, default=10, help="seconds idle before reading memory (default 10)"
    )
    ap.add_argument("--json", help="also write the figures here")
    ap.add_argument(
        "--icon-only",
        action="store_true",
        help="skip the first-answer figure (for builds whose socket does not answer)",
    )
    ap.add_argument(
        "--wake-minutes", type=float, default=1, help="idle minutes per wake-up count (default 1)"
    )
    ap.add_argument(
        "--due-runs", type=int, default=7, help="runs of the due-notice latency (default 7)"
    )
    ap.add_argument(
        "--only-timer", action="store_true", help="only the wake-up and due-notice figures"
    )
    ap.add_argument(
        "--flood",
        type=int,
        default=0,
        help="only a flood of this many missed notices, with and without openbox",
    )
    ap.add_argument(
        "--flood-cases",
        type=int,
        default=0,
        help="only the flood's menu-with-an-outside-append and 終了 cases, with this many notices",
    )
    args = ap.parse_args()
    exe = args.exe or next(
        (
            p
            for p in (
                os.path.join(ROOT, "build-perf", "Pirune"),
                os.path.join(ROOT, "build", "Pirune"),
            )
            if os.path.exists(p)
        ),
        None,
    )
    if not exe or not os.path.exists(exe):
        sys.exit("no executable: build it or pass --exe")
    for tool in ("Xvfb", "trayer", "xwininfo"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing (scripts/install-deps.sh test)")
    if args.flood_cases:
        f = flood_cases(exe, args.flood_cases)
        before, windows, flags, asked = f["append"]
        print(
            f"{args.flood_cases} missed, menu opened after {before} windows, a line appended: "
            f'{windows} windows, {flags} flags "1", question asked again: {asked}'
        )
        print(f"終了 after {f['exit'][0]} windows: {f['exit'][1]} flags \"1\"")
        return
    if args.flood:
        for wm in (False, True):
            r = flood(exe, args.flood, wm)
            print(
                f"{args.flood} message windows {'under openbox' if wm else 'without a window manager'}: "
                f"last one after {r['last_window_s']:.1f} s, peak memory {r['peak_MiB']:.0f} MiB, "
                f"tray menu open {r['menu_s']:.2f} s after the click"
            )
        return

    results = {"exe": os.path.abspath(exe), "cpus": os.cpu_count(), "runs": args.runs}
    workdir = tempfile.mkdtemp(prefix="pirune-measure-")
    try:
        with Display(workdir) as display:
            if args.wake_minutes > 0:
                for name, data in (("empty", b""), ("32768", notices(32768))):
                    results[f"wakeups_per_minute_{name}"] = wakeups_per_minute(
                        display, exe, data, args.wake_minutes
                    )
            if not args.only_timer:
                measure_startup(display, exe, args, results)
        if args.due_runs > 0:
            times = due_latencies(exe, args.due_runs)
            results["due_window_s"] = {
                "median": statistics.median(times),
                "min": min(times),
                "max": max(times),
                "all": times,
            }
    finally:
        shutil.rmtree(workdir, ignore_errors=True)

    for kind, what in (("startup", "to tray icon"), ("ready", "to first answer")):
        if f"{kind}_ratio_median" not in results:
            continue
        for name, label in (("empty", "empty file"), ("32768", "32768 notices")):
            r = results[f"{kind}_{name}_s"]
            print(
                f"start-up {what}, {label}: median {r['median'] * 1000:.0f} ms "
                f"(min {r['min'] * 1000:.0f}, max {r['max'] * 1000:.0f})"
            )
        print(f"  ratio of the medians: {results[f'{kind}_ratio_median']:.2f}")
    if "memory_1000_after_idle_kB" in results:
        m = results["memory_1000_after_idle_kB"]
        print(
            f"memory after {args.idle:g} s idle, 1000 notices: VmRSS {m['VmRSS'] / 1024:.1f} MiB (peak {m['VmHWM'] / 1024:.1f} MiB)"
        )
    for name, label in (("empty", "empty file"), ("32768", "32768 notices")):
        if f"wakeups_per_minute_{name}" in results:
            print(
                f"idle wake-ups of the main thread, {label}: {results[f'wakeups_per_minute_{name}']:.0f} a minute"
            )
    if "due_window_s" in results:
        r = results["due_window_s"]
        print(
            f"hh:nn:00 to the message window mapped: median {r['median'] * 1000:.0f} ms "
            f"(min {r['min'] * 1000:.0f}, max {r['max'] * 1000:.0f}, {len(r['all'])} runs)"
        )
    if args.json:
        with open(args.json, "w") as fjs:
            json.dump(results, fjs, indent=2)


def measure_startup(display, exe, args, results):
    run_once(display, exe, b"", ask=not args.icon_only)  # warms the file cache; not counted
    files = {"empty": b"", "32768": notices(32768)}
    startup = {name: [] for name in files}
    ready = {name: [] for name in files}
    # Interleaved, so that a slow spell of the machine falls on both alike.
    for _ in range(args.runs):
        for name, data in files.items():
            icon, answered, _ = run_once(display, exe, data, ask=not args.icon_only)
            startup[name].append(icon)
            ready[name].append(answered)
    kinds = (("startup", startup),) if args.icon_only else (("startup", startup), ("ready", ready))
    for kind, table in kinds:
        for name, times in table.items():
            results[f"{kind}_{name}_s"] = {
                "median": statistics.median(times),
                "min": min(times),
                "max": max(times),
                "all": times,
            }
        results[f"{kind}_ratio_median"] = statistics.median(table["32768"]) / statistics.median(
            table["empty"]
        )
    _, _, memory = run_once(display, exe, notices(1000), idle=args.idle)
    results["memory_1000_after_idle_kB"] = memory


if __name__ == "__main__":
    main()

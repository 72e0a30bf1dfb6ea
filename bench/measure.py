#!/usr/bin/env python3
"""Runs every benchmark and the process-level measurements, and prints one table.

    bench/measure.py BUILD_DIR

Process-level rows run the real app under a private Xvfb display with a tray host (trayer) on
the simulated platform, each in a scratch home; rows are medians of several runs. Where the
peer (caffeine-indicator, from Debian's caffeine package) is installed, the same rows are
measured for it in the same run; otherwise its column says "not installed".
"""

import json
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import uuid

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
APP = os.path.join(BUILD, "quorvel")
TOOLS = os.path.join(BUILD, "tools")
PEER = shutil.which("caffeine-indicator")
RUNS = 5


class Unmeasurable(Exception):
    """A row that cannot be measured; the message says why and goes into the table."""


def run(cmd, timeout=10, **kw):
    # A helper that hangs (xdotool on a dead display, a stuck ctl) must not hang the whole run.
    try:
        return subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(cmd, None, "", f"timed out after {timeout} s")


# --- benchmarks in bench/ ------------------------------------------------------------------

def bench_line(name, pattern):
    found = bench_text(name, pattern)
    return float(found[0]) if found else None


def bench_text(name, pattern):
    exe = os.path.join(BUILD, "bench", name)
    if not os.path.exists(exe):
        return None
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QUORVEL_TOOLS_DIR=TOOLS)
    out = run([exe], env=env, cwd=tempfile.gettempdir(), timeout=120)
    found = re.search(pattern, out.stdout + out.stderr)
    return found.groups() if found else None


# --- a private X display with a tray host ---------------------------------------------------

class Desktop:
    def __enter__(self):
        for n in range(120, 220):
            if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
                break
        self.display = f":{n}"
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{n}") and time.time() < deadline:
            time.sleep(0.02)
        self.env = dict(os.environ, DISPLAY=self.display)
        self.trayer = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                        "--height", "28", "--SetDockType", "true"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while self.tray_width() is None and time.time() < deadline:
            time.sleep(0.05)
        return self

    def tray_width(self):
        ids = run(["xdotool", "search", "--name", "^panel$"], env=self.env).stdout.split()
        for wid in ids:
            geometry = run(["xdotool", "getwindowgeometry", "--shell", wid], env=self.env).stdout
            found = re.search(r"WIDTH=(\d+)", geometry)
            if found:
                return int(found.group(1))
        return None

    def __exit__(self, *exc):
        for process in (self.trayer, self.xvfb):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()


# --- one app process in a scratch home --------------------------------------------------------

class Scratch:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="quorvel-bench-")
        os.makedirs(os.path.join(self.dir, "sandbox/sim"))
        with open(os.path.join(self.dir, "sandbox/sim/power.json"), "w") as f:
            f.write('{"source":"ac","lowPower":false}')
        home = os.path.join(self.dir, "home")
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_DATA_HOME=home + "/.local/share",
                        XDG_STATE_HOME=home + "/.local/state", XDG_CACHE_HOME=home + "/.cache",
                        QUORVEL_SIM_ROOT=self.dir + "/sandbox", QUORVEL_TOOLS_DIR=TOOLS,
                        QUORVEL_RUNTIME_DIR=self.dir + "/runtime", TMPDIR=self.dir,
                        QUORVEL_UPDATE_FEED_URL="http://127.0.0.1:9/quorvel/")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.history = os.path.join(home, ".local/share/app.quorvel.Quorvel/EventHistory.jsonl")

    def settings(self, text):
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "app.quorvel.Quorvel")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "Quorvel.conf"), "w") as f:
            f.write("[General]\n" + text)

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def wakeups(pid):
    """Context switches of every thread of the process so far: each one is a wake-up."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if "ctxt_switches" in line:
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return None


def quit_headless(process):
    try:
        process.stdin.write("quit\n")
        process.stdin.flush()
        process.wait(10)
    except (OSError, subprocess.TimeoutExpired):
        stop(process)


def stop(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(5)


def desktop_rows(command, scratch_env_extra=None, countdown=False):
    """Launch → tray visible (ms), RSS at 10 s (MB), wake-ups idle and with a countdown."""
    launch, rss, idle, ticking = [], [], [], []
    with Desktop() as desktop:
        for attempt in range(RUNS):
            scratch = Scratch()
            if countdown:
                scratch.settings("QuorvelMenuBarCountdownText=true\n")
            env = dict(scratch.env, DISPLAY=desktop.display)
            before = desktop.tray_width() or 0
            started = time.perf_counter()
            process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while (desktop.tray_width() or 0) <= before and time.perf_counter() - started < 10:
                time.sleep(0.002)
            if (desktop.tray_width() or 0) <= before:
                stop(process)
                scratch.close()
                raise Unmeasurable("no tray item within 10 s")
            launch.append((time.perf_counter() - started) * 1000)
            time.sleep(max(0.0, 10 - (time.perf_counter() - started)))
            try:
                rss.append(status_kib(process.pid, "VmRSS") / 1024)
            except (OSError, TypeError):
                stop(process)
                scratch.close()
                raise Unmeasurable(f"process exited before 10 s (status {process.poll()})")
            if attempt < 2:  # wake-ups are steady: two runs tell
                first = wakeups(process.pid)
                time.sleep(10)
                idle.append(wakeups(process.pid) - first)
                if countdown:
                    run([APP, "ctl", "start", "2h"], env=env)
                    time.sleep(1)
                    first = wakeups(process.pid)
                    time.sleep(10)
                    ticking.append(wakeups(process.pid) - first)
            stop(process)
            scratch.close()
            # Some indicators leave their icon (or the host keeps the slot) after they end: wait
            # a bounded time, then say so rather than measure the next launch against a wide tray.
            deadline = time.time() + 10
            while (desktop.tray_width() or 0) > before and time.time() < deadline:
                time.sleep(0.05)
            if (desktop.tray_width() or 0) > before:
                raise Unmeasurable("tray did not shrink within 10 s after the process was stopped")
    return {"launch": statistics.median(launch), "rss": statistics.median(rss), "idle": statistics.median(idle),
            "ticking": statistics.median(ticking) if ticking else None}


def toggle_latency():
    """Headless shell: "start" written → a new caffeinate child running (its line in the sandbox)."""
    scratch = Scratch()
    process = subprocess.Popen([APP, "--headless"], env=scratch.env, stdin=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)
    started_log = os.path.join(scratch.dir, "sandbox/sim/caffeinate.log")
    time.sleep(1)
    samples = []
    for _ in range(10):
        count = len(open(started_log).read().splitlines()) if os.path.exists(started_log) else 0
        began = time.perf_counter()
        process.stdin.write("start 3600\n")
        process.stdin.flush()
        deadline = time.time() + 5
        while (len(open(started_log).read().splitlines()) if os.path.exists(started_log) else 0) == count:
            if time.time() > deadline or process.poll() is not None:
                stop(process)
                scratch.close()
                raise Unmeasurable("no caffeinate start recorded within 5 s")
            time.sleep(0.0005)
        samples.append((time.perf_counter() - began) * 1000)
        process.stdin.write("stop\n")
        process.stdin.flush()
        time.sleep(0.3)
    quit_headless(process)
    scratch.close()
    return statistics.median(samples)


def history_line(i):
    return json.dumps({"id": str(uuid.UUID(int=i)).upper(), "kind": {"timedStarted": {"durationSeconds": 7200}},
                       "timestamp": 800000000.0 + i}, separators=(",", ":")) + "\n"


def startup_with_history(kind):
    """Headless start until its first state line; peak memory (VmHWM) then."""
    times, peaks = [], []
    for _ in range(3):
        scratch = Scratch()
        os.makedirs(os.path.dirname(scratch.history), exist_ok=True)
        with open(scratch.history, "w") as f:
            if kind == "1000":
                f.writelines(history_line(i) for i in range(1000))
            elif kind == "20MB":
                size, i = 0, 0
                while size < 20 * 1024 * 1024:
                    line = history_line(i)
                    f.write(line)
                    size += len(line)
                    i += 1
            else:
                f.write("x" * (20 * 1024 * 1024) + "\n")
        began = time.perf_counter()
        process = subprocess.Popen([APP, "--headless"], env=scratch.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        ready, _, _ = select.select([process.stdout], [], [], 10)
        if not ready or not process.stdout.readline():
            stop(process)
            scratch.close()
            raise Unmeasurable("no state line within 10 s")
        times.append((time.perf_counter() - began) * 1000)
        peaks.append(status_kib(process.pid, "VmHWM") / 1024)
        quit_headless(process)
        scratch.close()
    return statistics.median(times), statistics.median(peaks)


def main():
    rows = []

    def row(metric, goal, ours, peer="—"):
        rows.append((metric, goal, ours, peer))

    tick = bench_line("bench_statusbar", r"median (\d+) ns")
    row("countdown tick, store → image → status item", "≤ 100 µs", f"{tick / 1000:.1f} µs" if tick else "n/a")
    append = bench_line("bench_records", r"fresh file: median [\d.]+ ms \(([\d.]+) us each\)")
    row("diagnostic-log append", "—", f"{append:.1f} µs" if append else "n/a")
    soak = bench_text("bench_soak", r"RSS \d+ -> \d+ KiB \(([+-]\d+) KiB\); descriptors \d+ -> \d+ \(([+-]\d+)\)")
    row("soak: 24 h countdown + 10,000 changes", "< 1 MB, 0 descriptors",
        f"{int(soak[0]) / 1024:+.2f} MB, {int(soak[1]):+d} descriptors" if soak else "n/a")

    have_desktop = all(shutil.which(t) for t in ("Xvfb", "trayer", "xdotool"))
    def measured(what):
        try:
            return what()
        except Unmeasurable as why:
            return {"why": str(why)}

    ours = measured(lambda: desktop_rows([APP], countdown=True)) if have_desktop else None
    peer = measured(lambda: desktop_rows([PEER])) if have_desktop and PEER else None

    def fmt(result, key, unit, digits=0):
        if result is not None and "why" in result:
            return "not measured: " + result["why"]
        if result is None or result.get(key) is None:
            return "not installed" if result is None and key != "ticking" else "—"
        return f"{result[key]:.{digits}f}{unit}"

    if ours:
        row("launch → tray item visible", "≤ 300 ms", fmt(ours, "launch", " ms"), fmt(peer, "launch", " ms") if PEER else "not installed")
        row("RSS 10 s after launch", "≤ 35 MB", fmt(ours, "rss", " MB", 1), fmt(peer, "rss", " MB", 1) if PEER else "not installed")
        row("wake-ups over 10 s, idle", "0", fmt(ours, "idle", ""), fmt(peer, "idle", "") if PEER else "not installed")
        row("wake-ups over 10 s, countdown shown", "10", fmt(ours, "ticking", ""), "—")
    else:
        row("desktop rows", "—", "Xvfb, trayer or xdotool missing", "—")
    try:
        row("toggle → new caffeinate child running", "≤ 50 ms", f"{toggle_latency():.1f} ms")
    except Unmeasurable as why:
        row("toggle → new caffeinate child running", "≤ 50 ms", f"not measured: {why}")
    try:
        small = startup_with_history("1000")
        big = startup_with_history("20MB")
        line = startup_with_history("line")
    except Unmeasurable as why:
        row("start-up with a history", "—", f"not measured: {why}")
        small = None
    if small is not None:
        row("start-up, history of 1,000 lines", "—", f"{small[0]:.0f} ms, peak {small[1]:.1f} MB")
        row("start-up, 20 MB of valid lines", f"≤ 2× ({2 * small[0]:.0f} ms, {2 * small[1]:.0f} MB)",
            f"{big[0]:.0f} ms, peak {big[1]:.1f} MB")
        row("start-up, one 20 MB line", f"≤ 2× ({2 * small[0]:.0f} ms, {2 * small[1]:.0f} MB)",
            f"{line[0]:.0f} ms, peak {line[1]:.1f} MB")

    widths = [max(len(str(r[i])) for r in rows + [("metric", "goal", "Quorvel", "caffeine-indicator")]) for i in range(4)]
    header = ("metric", "goal", "Quorvel", "caffeine-indicator")
    print("| " + " | ".join(h.ljust(w) for h, w in zip(header, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print("| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |")


if __name__ == "__main__":
    main()

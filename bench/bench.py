"""Start-up and memory of vexilo-player against the engine's floor and Chromium.

Called by bench/run, which builds what is needed first. The programs run in
rounds (A B C A B C ...) in one shared desktop. Each run: a fresh demo server
and log, fresh home folders (the font, GStreamer and shader caches kept warm),
the program started by bench-mapwatch, the figures, then the whole process
tree killed and waited for.

  map      start -> first viewable top-level window (X MapNotify, bench-mapwatch)
  request  start -> the player page's request logged by the demo server
  pss      sum of Pss over the process tree, read --settle seconds after start
"""

import argparse
import json
import os
import selectors
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

PLAYER_URL = "http://%s/jiujiuting/99Players.htm" % harness.PLAYER_HOST
BANNER_URL = "http://%s/admin/ad/vexilo.htm" % harness.SITE_HOST
MARK = "VEXILO_BENCH_RUN"

# Chromium: nothing in the background, every request through our proxy.
CHROMIUM_FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-default-apps", "--window-size=568,446", "--autoplay-policy=no-user-gesture-required"]


def programs(args):
    """name -> function(run_dir, proxy) giving the command line."""
    progs = {
        "vexilo": lambda d, proxy: [harness.PLAYER],
        "floor": lambda d, proxy: [args.floor, PLAYER_URL, BANNER_URL],
        "chromium": lambda d, proxy: [args.chromium, *CHROMIUM_FLAGS, "--user-data-dir=" + os.path.join(d, "chromium"),
                                      "--proxy-server=" + proxy, "--app=" + PLAYER_URL],
    }
    for extra in args.also:
        name, _, cmd = extra.partition("=")
        progs[name] = lambda d, proxy, cmd=cmd: cmd.split() + [PLAYER_URL, BANNER_URL]
    return progs


# --- processes ----------------------------------------------------------------

def proc_table():
    """pid -> (ppid, state, comm, start time in clock ticks) for every process."""
    table = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                raw = f.read()
        except OSError:
            continue
        comm = raw[raw.index("(") + 1:raw.rindex(")")]
        fields = raw[raw.rindex(")") + 2:].split()
        table[int(name)] = (int(fields[1]), fields[0], comm, int(fields[19]))
    return table


def marked(pid, mark):
    try:
        with open("/proc/%d/environ" % pid, "rb") as f:
            return mark in f.read().split(b"\0")
    except OSError:
        return False


def tree(root, mark, skip=()):
    """The program's processes: its descendants, and anything carrying the
    run's mark in its environment that a launcher may have let go of."""
    table = proc_table()
    for pid in skip:
        table.pop(pid, None)
    children = {}
    for pid, (ppid, *_rest) in table.items():
        children.setdefault(ppid, []).append(pid)
    found, todo = set(), [root] if root in table else []
    while todo:
        pid = todo.pop()
        found.add(pid)
        todo.extend(children.get(pid, []))
    escaped = {pid for pid in table if pid not in found and marked(pid, mark)}
    for pid in list(escaped):
        todo = [pid]
        while todo:
            p = todo.pop()
            escaped.add(p)
            todo.extend(c for c in children.get(p, []) if c not in found)
    alive = {p for p in found | escaped if table[p][1] != "Z"}
    return alive, escaped & alive, table


def pss_kib(pid):
    try:
        with open("/proc/%d/smaps_rollup" % pid) as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def kill_all(root, mark, skip, timeout=10.0):
    end = time.monotonic() + timeout
    while True:
        alive, _, _ = tree(root, mark, skip)
        if not alive:
            return True
        for pid in alive:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if time.monotonic() > end:
            return False
        time.sleep(0.05)


# --- the machine's other work -------------------------------------------------------

def cpu_busy():
    """(busy, total) jiffies over all CPUs since boot."""
    with open("/proc/stat") as f:
        v = [int(x) for x in f.readline().split()[1:]]
    idle = v[3] + v[4]
    return sum(v) - idle, sum(v)


def proc_cpu(pids, reaped=False):
    """utime + stime of these processes, in jiffies; with reaped, also that
    of their children that have ended."""
    total = 0
    for pid in pids:
        try:
            with open("/proc/%d/stat" % pid) as f:
                raw = f.read()
        except OSError:
            continue
        fields = raw[raw.rindex(")") + 2:].split()
        total += int(fields[11]) + int(fields[12])
        if reaped:
            total += int(fields[13]) + int(fields[14])
    return total


def wait_idle(limit, busy_max=0.25):
    """Waits (at most limit seconds) for a half second in which the CPUs are
    less than busy_max busy: other work on the machine skews start-up times."""
    end = time.monotonic() + limit
    while True:
        b0, t0 = cpu_busy()
        time.sleep(0.5)
        b1, t1 = cpu_busy()
        load = (b1 - b0) / max(1, t1 - t0)
        if load < busy_max or time.monotonic() > end:
            return load


# --- one run --------------------------------------------------------------------

class Watch:
    """bench-mapwatch's output, line by line, with a deadline."""

    def __init__(self, proc):
        self.proc = proc
        self.sel = selectors.DefaultSelector()
        self.sel.register(proc.stdout, selectors.EVENT_READ)
        self.buf = b""

    def line(self, deadline):
        while b"\n" not in self.buf:
            left = deadline - time.monotonic()
            if left <= 0 or not self.sel.select(left):
                return None
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                return None
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line.decode().split()


# What a user's machine has warm: a run that rebuilt them (GStreamer scans
# every plugin) would measure the first start after an install.
WARM_CACHES = {"fontconfig", "gstreamer-1.0", "mesa_shader_cache"}


def fresh_cache(cache):
    """The shared cache folder less everything but WARM_CACHES: no page or
    HTTP cache survives a run."""
    os.makedirs(cache, exist_ok=True)
    for name in os.listdir(cache):
        if name not in WARM_CACHES:
            path = os.path.join(cache, name)
            shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)


def one_run(desktop, args, name, command, tag, base):
    run_dir = os.path.join(base, tag)
    os.makedirs(run_dir)
    site = harness.Site(run_dir)
    env = dict(desktop.env)
    home = os.path.join(run_dir, "home")
    cache = os.path.join(base, "cache")
    fresh_cache(cache)
    env.update(HOME=home, XDG_CACHE_HOME=cache, XDG_CONFIG_HOME=home + "/.config",
               XDG_DATA_HOME=home + "/.local/share", http_proxy=site.proxy, no_proxy="")
    env[MARK] = tag
    mark = ("%s=%s" % (MARK, tag)).encode()
    os.makedirs(home)
    err = open(os.path.join(run_dir, "stderr.txt"), "wb")
    result = {"program": name, "run": tag, "map": None, "request": None, "banner": None, "pss": None, "procs": 0,
              "escaped": 0, "requests": 0, "sound": 0, "other_cpu": 0.0, "detail": [],
              "idle_wait_load": wait_idle(args.wait_idle) if args.wait_idle else None}
    ours = [p.pid for p in desktop.procs] + [site.proc.pid, os.getpid()]
    busy0, ours0 = cpu_busy()[0], proc_cpu(ours)
    watcher = subprocess.Popen([args.mapwatch, "--timeout", str(args.timeout), "--", *command(run_dir, site.proxy)],
                               env=env, cwd=run_dir, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
    w = Watch(watcher)
    root = None
    try:
        pid_line = w.line(time.monotonic() + 10)
        start_line = w.line(time.monotonic() + 10)
        root = int(pid_line[1])
        start_rt, start_mono = float(start_line[1]), float(start_line[2])
        boot_offset = time.clock_gettime(time.CLOCK_BOOTTIME) - time.monotonic()
        got = w.line(start_mono + args.timeout + 1)
        if got and got[0] == "map":
            result["map"] = float(got[2]) - start_mono
        else:
            result["note"] = " ".join(got or ["no window"])

        time.sleep(max(0.0, start_mono + args.settle - time.monotonic()))
        alive, escaped, table = tree(root, mark, (watcher.pid,))
        # CPU time that neither the program nor the desktop nor we used.
        hz = os.sysconf("SC_CLK_TCK")
        result["other_cpu"] = (cpu_busy()[0] - busy0 - (proc_cpu(ours) - ours0) - proc_cpu(alive, True)
                               - proc_cpu([watcher.pid])) / hz
        per = {pid: pss_kib(pid) for pid in alive}
        result["pss"] = sum(per.values()) / 1024.0
        result["procs"] = len(alive)
        result["escaped"] = len(escaped)
        # Each process's start, after the program's, from /proc (1/HZ steps).
        result["detail"] = sorted(
            ({"pid": pid, "name": table[pid][2], "pss": per[pid] / 1024.0,
              "started": table[pid][3] / hz - boot_offset - start_mono} for pid in alive),
            key=lambda d: d["started"])
        result["sound"] = len([l for l in desktop.x("pactl", "list", "short", "sink-inputs", check=False).splitlines()
                               if l.strip()])

        reqs = site.requests()
        page = [r["time"] for r in reqs if r["target"] == PLAYER_URL
                or (r["target"] == "/jiujiuting/99Players.htm" and r.get("host") == harness.PLAYER_HOST)]
        banner = [r["time"] for r in reqs if r["target"].endswith("/admin/ad/vexilo.htm")]
        # The server logs time.time(): the same clock as the start's REALTIME.
        result["request"] = min(page) - start_rt if page else None
        result["banner"] = min(banner) - start_rt if banner else None
        result["requests"] = len(reqs)
    except Exception as e:   # one broken run is reported, not the end of the others
        result["note"] = (result.get("note", "") + " failed: %r" % e).strip()
    finally:
        if root is not None and not kill_all(root, mark, (watcher.pid,)):
            result["note"] = (result.get("note", "") + " survivors").strip()
        if watcher.poll() is None:
            watcher.kill()
        watcher.wait()
        watcher.stdout.close()
        err.close()
        site.close()
    return result


# --- report ---------------------------------------------------------------------

def fmt(v, unit):
    if v is None:
        return "-"
    return "%.0f" % v if unit == "MiB" else "%.3f" % v


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def report(results, names, args):
    figures = [("map", "s", "start -> window mapped"), ("request", "s", "start -> player page request"),
               ("pss", "MiB", "PSS of the process tree at %gs" % args.settle)]
    counted = [r for r in results if not r["warmup"]]
    med = {n: {f: median([r[f] for r in counted if r["program"] == n]) for f, _, _ in figures} for n in names}
    procs = {n: median([r["procs"] for r in counted if r["program"] == n]) for n in names}

    print()
    print("Medians of %d runs (after %d warm-up round%s):" % (args.runs, args.warmup, "" if args.warmup == 1 else "s"))
    print("%-10s %10s %12s %9s %6s" % ("program", "map s", "request s", "PSS MiB", "procs"))
    for n in names:
        print("%-10s %10s %12s %9s %6s" % (n, fmt(med[n]["map"], "s"), fmt(med[n]["request"], "s"),
                                           fmt(med[n]["pss"], "MiB"), "%g" % procs[n] if procs[n] is not None else "-"))
    if "floor" in names:
        print()
        print("%-16s %10s %12s %9s" % ("ratio", "map", "request", "PSS"))
        for n in names:
            if n == "floor":
                continue
            row = []
            for f, _, _ in figures:
                a, b = med[n][f], med["floor"][f]
                row.append("%.2f" % (a / b) if a is not None and b else "-")
            print("%-16s %10s %12s %9s" % ("%s/floor" % n, *row))

    print()
    print("Per run (w: warm-up, not counted):")
    print("%-10s %-4s %8s %9s %9s %8s %6s %6s %5s %7s  %s" % ("program", "run", "map s", "request s", "banner s",
                                                               "PSS MiB", "procs", "reqs", "sound", "other", "note"))
    for r in results:
        print("%-10s %-4s %8s %9s %9s %8s %6d %6d %5d %7.2f  %s" % (
            r["program"], ("w" if r["warmup"] else "") + str(r["round"]), fmt(r["map"], "s"), fmt(r["request"], "s"),
            fmt(r["banner"], "s"), fmt(r["pss"], "MiB"), r["procs"], r["requests"], r["sound"], r["other_cpu"],
            r.get("note", "") + (" escaped=%d" % r["escaped"] if r["escaped"] else "")))

    if args.verbose:
        print()
        print("Processes at %gs (started: seconds after the program's start, 1/HZ steps):" % args.settle)
        for r in results:
            print("  %s %s:" % (r["program"], r["run"]))
            for d in r["detail"]:
                print("    %7.2f s  %7.1f MiB  %s" % (d["started"], d["pss"], d["name"]))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--runs", type=int, default=5, help="counted runs per program (default 5)")
    p.add_argument("--warmup", type=int, default=1, help="rounds run first and not counted (default 1)")
    p.add_argument("--settle", type=float, default=5.0, help="seconds after start to read PSS (default 5)")
    p.add_argument("--timeout", type=float, default=30.0, help="seconds to wait for a window")
    p.add_argument("--pause", type=float, default=1.0, help="seconds between runs (default 1)")
    p.add_argument("--max-other", type=float, default=1.0, metavar="S",
                   help="run again when other work used more than S CPU seconds during a run (default 1; 0: never)")
    p.add_argument("--retries", type=int, default=3, help="at most this many runs again per run (default 3)")
    p.add_argument("--wait-idle", type=float, default=20.0, metavar="S",
                   help="before each run, wait up to S seconds for the CPUs to be under 25%% busy (default 20; 0: no wait)")
    p.add_argument("--only", default="vexilo,floor,chromium", help="comma-separated programs, in round order")
    p.add_argument("--also", action="append", default=[], metavar="NAME=COMMAND",
                   help="another program to run like the floor (given the two page URLs); may repeat")
    p.add_argument("--floor", default=os.path.join(ROOT, "build", "bench", "vexilo-floor"))
    p.add_argument("--mapwatch", default=os.path.join(ROOT, "build", "bench", "bench-mapwatch"))
    p.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    p.add_argument("--keep", action="store_true", help="keep the runs' folders (logs, homes) and print where")
    p.add_argument("--json", help="also write every run's figures to this file")
    p.add_argument("--verbose", "-v", action="store_true", help="list each run's processes with start times and PSS")
    args = p.parse_args()

    progs = programs(args)
    names = args.only.split(",") + [a.partition("=")[0] for a in args.also]
    for n in names:
        if n not in progs:
            p.error("unknown program " + n)
    for tool in ("Xvfb", "openbox", "pulseaudio", "pactl"):
        if not shutil.which(tool):
            sys.exit("missing tool: " + tool)

    print("machine: %d CPUs, load %.2f %.2f %.2f; network namespace of its own: %s" % (
        os.cpu_count(), *os.getloadavg(), "yes" if os.environ.get("VEXILO_BENCH_NETNS") else "no"))
    base = tempfile.mkdtemp(prefix="vexilo-bench-")
    desktop = harness.Desktop(audio=True)
    results = []
    try:
        for rnd in range(args.warmup + args.runs):
            warm = rnd < args.warmup
            for n in names:
                for attempt in range(1 + args.retries):
                    tag = "%s-%d-%d" % (n, rnd, attempt)
                    r = one_run(desktop, args, n, progs[n], tag, base)
                    # Disturbed by other work on the machine: run it again.
                    if not args.max_other or r["other_cpu"] <= args.max_other or attempt == args.retries:
                        break
                    print("%-10s %-4s disturbed (%.1f CPU s of other work), again" % (
                        n, ("w" if warm else "") + str(rnd + 1 if warm else rnd - args.warmup + 1), r["other_cpu"]),
                        flush=True)
                    time.sleep(args.pause)
                r["attempts"] = attempt + 1
                r["round"], r["warmup"] = (rnd + 1 if warm else rnd - args.warmup + 1), warm
                results.append(r)
                print("%-10s %-4s map %s s, request %s s, PSS %s MiB, %d processes%s" % (
                    n, ("w" if warm else "") + str(r["round"]), fmt(r["map"], "s"), fmt(r["request"], "s"),
                    fmt(r["pss"], "MiB"), r["procs"], (", " + r["note"]) if r.get("note") else ""), flush=True)
                time.sleep(args.pause)
    finally:
        desktop.close()
        if args.keep:
            print("runs kept in " + base)
        else:
            shutil.rmtree(base, ignore_errors=True)
    report(results, names, args)
    print()
    print("load after: %.2f %.2f %.2f" % os.getloadavg())
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()

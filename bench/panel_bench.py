#!/usr/bin/env python3
"""The panel benchmark: QorvelGen.exe against a bare dialog of the same template.

Run by bench/run_panel_bench inside the Wine rig. For each round it starts
both programs, one after the other, and takes (1) the time from process start
to the dialog being visible and (2) the mean time of one frequency-slider
notification (TBM_SETPOS + WM_HSCROLL sent from another process and waited
for). Then, for both programs alternately, it counts the system calls the
program makes during a burst of notifications (strace -f -c -p PID). Times
under Wine swing with the machine's load; the counts hardly do.

Prints medians, the panel/bare ratios and the system calls per notification,
all of them and those that are not waits (poll, futex, sched_yield...).
"""
import argparse
import os
import signal
import statistics
import subprocess
import sys
import time

WINE = os.environ.get("QORVEL_WINE", "/usr/lib/wine/wine64")
CONFIG = 'DeviceName = "QorvelE"\r\nHelpPreDelay = 0\r\n'


def run_driver(driver, exe, count, cwd, extra=()):
    return subprocess.Popen([WINE, driver, exe, str(count), *extra], cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)


def parse(lines):
    values = {}
    for line in lines:
        parts = line.split()
        if len(parts) == 2 and parts[0] in ("startup_ms", "notify_ms", "exit"):
            values[parts[0]] = float(parts[1])
    return values


def timed_run(driver, exe, count, cwd):
    process = run_driver(driver, exe, count, cwd)
    out, _ = process.communicate(timeout=300)
    values = parse(out.splitlines())
    if "notify_ms" not in values or values.get("exit") != 0:
        sys.exit("bench: %s did not run through: %r" % (exe, out))
    return values


def wine_pid(exe_name):
    """The Unix pid of this prefix's process running exe_name."""
    prefix = os.environ["WINEPREFIX"].encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                cmdline = f.read()
            with open("/proc/%s/environ" % entry, "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        # Wine shows a program's path as its first argument; the driver's and
        # this script's command lines name the program only later.
        first = cmdline.split(b"\0")[0].replace(b"\\", b"/").lower()
        if first.endswith(b"/" + exe_name.lower().encode()) and b"WINEPREFIX=" + prefix in environ:
            return int(entry)
    return None


# Calls that wait rather than work: their number follows the timing (how
# often a thread finds nothing yet and sleeps again), not the program.
WAITING = {"poll", "ppoll", "select", "pselect6", "epoll_wait", "epoll_pwait", "futex", "sched_yield",
           "nanosleep", "clock_nanosleep"}


def count_calls(driver, exe, count, cwd, work, name):
    """System calls per notification during a burst: (all, all but waiting)."""
    go, done, summary = (os.path.join(work, n) for n in ("go", "done", "strace-%s.txt" % name))
    for path in (go, done, summary):
        if os.path.exists(path):
            os.remove(path)
    process = run_driver(driver, exe, count, cwd, ("Z:" + go, "Z:" + done))
    lines = []
    for line in process.stdout:
        lines.append(line)
        if line.strip() == "ready":
            break
    pid = None
    deadline = time.time() + 10
    while pid is None and time.time() < deadline:
        pid = wine_pid(os.path.basename(exe))
        time.sleep(0.05)
    if pid is None:
        sys.exit("bench: no process found for %s" % exe)
    tracer = subprocess.Popen(["strace", "-f", "-c", "-o", summary, "-p", str(pid)],
                              stderr=subprocess.DEVNULL)
    time.sleep(1.0)  # strace attaches to every thread first
    open(go, "w").close()
    while not os.path.exists(done):
        time.sleep(0.02)
    tracer.send_signal(signal.SIGINT)
    tracer.wait(timeout=30)
    lines += process.stdout.readlines()
    process.wait(timeout=60)
    total, waiting = None, 0
    with open(summary) as f:
        for line in f:
            fields = line.split()
            if len(fields) < 5 or not fields[3].isdigit():
                continue
            if fields[-1] == "total":
                total = int(fields[3])
            elif fields[-1] in WAITING:
                waiting += int(fields[3])
    if total is None:
        sys.exit("bench: no strace summary for %s" % exe)
    return total / count, (total - waiting) / count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the win64 build directory")
    parser.add_argument("--exe", help="the QorvelGen.exe to measure (default: the build's)")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--notifications", type=int, default=200, help="timed per round")
    parser.add_argument("--burst", type=int, default=1000, help="notifications per system-call count")
    parser.add_argument("--counts", type=int, default=3, help="system-call counts per program")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    driver = os.path.join(build, "bench", "panel_bench_driver.exe")
    programs = {
        "panel": os.path.abspath(args.exe or os.path.join(build, "src", "app", "QorvelGen.exe")),
        "bare": os.path.join(build, "bench", "panel_bare.exe"),
    }
    work = os.path.join(build, "bench-work")
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "QorvelGen.cfg"), "w", newline="") as f:
        f.write(CONFIG)

    print("bench: %s" % programs["panel"])
    times = {name: {"startup_ms": [], "notify_ms": []} for name in programs}
    for round_ in range(args.rounds):
        order = ("panel", "bare") if round_ % 2 == 0 else ("bare", "panel")
        for name in order:
            values = timed_run(driver, programs[name], args.notifications, work)
            for key in ("startup_ms", "notify_ms"):
                times[name][key].append(values[key])
    calls = {name: [] for name in programs}
    for _ in range(args.counts):
        for name in programs:
            calls[name].append(count_calls(driver, programs[name], args.burst, work, work, name))

    medians = {name: {key: statistics.median(v) for key, v in t.items()} for name, t in times.items()}
    for name in programs:
        print("%-5s startup %8.1f ms   notification %7.3f ms   system calls per notification %6.1f"
              " (%.1f without waits)"
              % (name, medians[name]["startup_ms"], medians[name]["notify_ms"],
                 statistics.median(c[0] for c in calls[name]), statistics.median(c[1] for c in calls[name])))
    print("ratio startup %.2f   notification %.2f   (panel / bare, medians of %d rounds)"
          % (medians["panel"]["startup_ms"] / medians["bare"]["startup_ms"],
             medians["panel"]["notify_ms"] / medians["bare"]["notify_ms"], args.rounds))
    for name in programs:
        print("system calls per notification, %s: %s" % (name, "  ".join("%.1f/%.1f" % c for c in calls[name])))


if __name__ == "__main__":
    main()

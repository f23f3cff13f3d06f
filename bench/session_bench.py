#!/usr/bin/env python3
"""The scripting session benchmark: what a command costs in a qorvelctl
session against one qorvelctl process a command, a sweep's schedule, and a
long session's memory and handles.

Run by bench/run_session_bench inside the Wine rig, against the virtual board:

1. per command: a session is sent `rate HZ --run` commands one at a time,
   each waited for (its JSON answer read) before the next, and each timed from
   the write of its line to its answer; one process a command runs the same
   command with `--json` as a process of its own, timed from start to exit.
   Both in the same run, alternating blocks, so the machine's load falls on
   both alike. Medians and 90th percentiles.
2. the sweep: 100 steps at a 20 ms dwell in a session; every step's rate
   request in the board's log (its "t", milliseconds since the board's
   Create) against its schedule, the first step's time plus k dwells.
3. the soak: COMMANDS commands in one session (status every 1000), and the
   process's handles and private bytes as it reports them, after the first
   1000 and at the end.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

WINE = os.environ.get("QORVEL_WINE", "/usr/lib/wine/wine64")
CONFIG = 'DeviceName = "QorvelE"\r\nHelpPreDelay = 0\r\n'
SAVED = ("FreqIndex = 1000\r\nAmplitudeIndex1 = 16384\r\nAmplitudeIndex2 = 8192\r\nModeIndex1 = 19\r\n"
         "ModeIndex2 = 9\r\n")


class Session:
    def __init__(self, ctl, cwd, env):
        self.process = subprocess.Popen([WINE, ctl, "session"], cwd=cwd, env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        attached = self.answer()
        if attached.get("exit") != 0:
            sys.exit("bench: the session did not attach: %r" % attached)

    def answer(self):
        line = self.process.stdout.readline()
        if not line:
            sys.exit("bench: the session ended")
        return json.loads(line)

    def send(self, line):
        self.process.stdin.write((line + "\n").encode())
        answer = self.answer()
        if answer.get("exit") != 0:
            sys.exit("bench: %r answered %r" % (line, answer))
        return answer

    def close(self):
        self.process.stdin.write(b"quit\n")
        self.process.stdin.close()
        self.process.wait(timeout=60)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def per_command(ctl, cwd, env, commands, processes):
    session = Session(ctl, cwd, env)
    in_session, one_process = [], []
    rates = [1000 + (i % 400) * 100 for i in range(commands)]
    block = max(1, commands // max(1, processes))
    for start in range(0, commands, block):
        for rate in rates[start:start + block]:
            began = time.perf_counter()
            session.send("rate %d --run" % rate)
            in_session.append((time.perf_counter() - began) * 1000)
        if len(one_process) < processes:
            began = time.perf_counter()
            subprocess.run([WINE, ctl, "--json", "rate", str(rates[start]), "--run"], cwd=cwd, env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=60)
            one_process.append((time.perf_counter() - began) * 1000)
    session.close()
    return in_session, one_process


def sweep(ctl, cwd, env, log):
    if os.path.exists(log):
        os.remove(log)
    session = Session(ctl, cwd, dict(env, VBOARD_LOG=log))
    session.process.stdin.write(b"sweep --from 100 --to 1000 --steps 100 --dwell 20\n")
    while "exit" not in session.answer():
        pass
    session.close()
    with open(log) as f:
        entries = [json.loads(line) for line in f]
    # Each step begins with its rate request (selector 0).
    times = [e["t"] for e in entries if e["op"] == "Setup" and e["selector"] == 0]
    return [t - times[0] - k * 20 for k, t in enumerate(times)]


def soak(ctl, cwd, env, commands):
    session = Session(ctl, cwd, env)
    seen = []
    for i in range(1, commands + 1):
        session.send("rate %d --run" % (1000 + i % 400 * 100))
        if i % 1000 == 0:
            seen.append((i, session.send("status")["process"]))
    session.close()
    return seen


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ctl", required=True, help="the qorvelctl.exe to run")
    parser.add_argument("--work", required=True, help="a folder for its settings files and logs")
    parser.add_argument("--commands", type=int, default=1000, help="session commands to time (default 1000)")
    parser.add_argument("--processes", type=int, default=100, help="processes to time (default 100)")
    parser.add_argument("--soak", type=int, default=100000, help="commands in the soak (default 100000; 0: none)")
    args = parser.parse_args()
    args.ctl, args.work = os.path.abspath(args.ctl), os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)
    for name, text in (("QorvelGen.cfg", CONFIG), ("QorvelGen.sav", SAVED)):
        with open(os.path.join(args.work, name), "w", newline="") as f:
            f.write(text)
    env = {k: v for k, v in os.environ.items() if not k.startswith("VBOARD_")}
    env["VBOARD_LOG"] = "NUL"  # the Windows null device: no log

    in_session, one_process = per_command(args.ctl, args.work, env, args.commands, args.processes)
    median_session, median_process = statistics.median(in_session), statistics.median(one_process)
    print("per command, %d in a session: median %.3f ms, 90th percentile %.3f ms"
          % (len(in_session), median_session, percentile(in_session, 0.9)))
    print("per command, %d one process each: median %.1f ms, 90th percentile %.1f ms"
          % (len(one_process), median_process, percentile(one_process, 0.9)))
    print("a process a command takes %.0f times as long as a command in a session" % (median_process / median_session))

    late = sweep(args.ctl, args.work, env, os.path.join(args.work, "sweep.log"))
    worst = max(late, key=abs)
    print("sweep of %d steps at 20 ms: worst step %+.0f ms from its schedule (the board log's whole milliseconds), "
          "median %+.0f ms" % (len(late), worst, statistics.median(late)))

    if args.soak:
        seen = soak(args.ctl, args.work, env, args.soak)
        first, last = seen[0], seen[-1]
        print("soak of %d commands: after %d, %d handles, %d private bytes; after %d, %d handles, %d private bytes"
              % (args.soak, first[0], first[1]["handles"], first[1]["privateBytes"], last[0], last[1]["handles"],
                 last[1]["privateBytes"]))
        print("soak, every 1000 commands: handles %s; private KiB %s" % (
            sorted({s[1]["handles"] for s in seen}),
            "%d to %d" % (min(s[1]["privateBytes"] for s in seen) // 1024, max(s[1]["privateBytes"] for s in seen) // 1024)))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""End-to-end tests: the real QorvelGen.exe under Wine with the virtual board.

Each case starts the program in a working directory of its own, with its own
QorvelGen.cfg, QorvelGen.sav and board log (VBOARD_LOG), drives it with real
key presses and mouse clicks (xdotool on the rig's display) or with messages
from the qorvel_poke helper, and checks what the board was asked (the log's
JSON lines), the exit code and the files left behind.

Expects the Wine rig to be up (DISPLAY, WINEPREFIX, WINESERVER and LANG
exported, the virtual board registered as QorvelE), as scripts/test leaves it:

    python3 tests/e2e/run_e2e.py --build build/win64 [-k NAME]... [--skip NAME]...
        [--exe QorvelGen.exe] [--ctl qorvelctl.exe] [--wine LOADER] [--work DIR]
        [--reference DIR] [--other-board DLL] [--boardscope HOST_BOARDSCOPE]

--build names the build whose qorvel_poke.exe drives the program; --exe runs
another QorvelGen.exe with it (a release build, an unpacked package), --ctl
another qorvelctl.exe, --wine another Wine loader (QORVEL_WINE, else Debian's
wine64). --other-board names the other architecture's VirtualBoard.dll for the
driver check of qorvelcfg. The qorvelctl cases measure what played with the
host build's boardscope (default build/host/tools/boardscope/boardscope).

After every case, each request the board logged must carry the request
block's size for the exe's architecture (36 bytes on i686, 40 on x86_64).
With --reference (another build's work folder, its cases run first), every
block a case wrote must equal, value for value, the block the same case
wrote there.

A failed case runs once more (Wine now and then fails a program that did
nothing wrong); one that passes only then counts as passed and is named in a
line "e2e: passed only when run once more: ..." before the last line, which is
"e2e: N passed, N failed".
"""
import argparse
import contextlib
import json
import math
import os
import random
import re
import shlex
import signal
import shutil
import struct
import subprocess
import sys
import time
import traceback

WINE = os.environ.get("QORVEL_WINE", "/usr/lib/wine/wine64")
ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
IMPORT = "/usr/bin/import"
CONVERT = "/usr/bin/convert"
PANEL_TITLE = "  QorvelGen SE v 1.2 [ Apr 17 2007 ]"
NO_PANEL_EXIT = 254  # -2, as the shell sees it

MSG_PROPERTIES = "Свойства устройства не подходят!"
MSG_NOT_CONNECTED = "Устройство не подключено или используется другой программой!"
MSG_GONE = "Устройство неожиданно отключилось! Программа будет закрыта."

MODE_AUTOSTART_ON = 0x80000002
MODE_AUTOSTART_OFF = 0x800000FF
PRESENCE_ITEM = 0x5A5A0101

START, PERIODS1, AMPLITUDE1, SPIN1, DISPLAY1 = 1010, 1012, 1013, 1014, 1015
PERIODS2, AMPLITUDE2, SPIN2, DISPLAY2 = 1017, 1018, 1019, 1020
WRITE, FREQUENCY, SPIN_FREQUENCY = 1022, 1023, 1024
AUTOSTART_ON, AUTOSTART_OFF, DISPLAY_FREQUENCY = 1025, 1026, 1027

# A configuration without hover help, so no balloon covers what a case
# clicks or photographs.
QUIET_CFG = "DeviceName = \"QorvelE\"\r\nHelpPreDelay = 0\r\n"

# Hover help with a short tick, long enough to stay steady on a busy machine.
HOVER_PERIOD = 400  # ms
HOVER_CFG = "DeviceName = \"QorvelE\"\r\nHelpPreDelay = %d\r\nHelpPostDelay = 4000\r\n" % HOVER_PERIOD

HELP_TEXTS = {
    START: "Запуск или остановка генератора, команда доступна с помощью клавиши F2. Воспроизводится "
           "сигнал, предварительно записанный в память начиная с адреса 1024*4.",
    WRITE: "Запись формы сигнала в устройство. Чтобы поменять амплитуду или поменять количество периодов "
           "сигнала, необходимо записать его в память устройства. Следует минимизировать количество "
           "записей. Именно поэтому запись не производится автоматически.",
    AMPLITUDE1: "Амплитуда сигнала для канала 1. Максимально +-10 volt. Для того, чтобы изменения вступили "
                "в силу, необходимо записать сигнал в память.",
}


def saved_state(freq, amp1, amp2, mode1, mode2):
    """The saved-state file exactly as the program writes it."""
    return ("FreqIndex       = %d\r\nAmplitudeIndex1 = %d\r\nAmplitudeIndex2 = %d\r\n"
            "ModeIndex1      = %d\r\nModeIndex2      = %d\r\n" % (freq, amp1, amp2, mode1, mode2)).encode()


class CaseFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise CaseFailure(message)


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise CaseFailure("timed out waiting for " + what)
        time.sleep(0.05)


def request(entry):
    """A board log line as a short request tuple, or None for other calls."""
    if entry.get("op") != "Setup":
        return None
    mode = entry["mode"]
    if entry["selector"] == 0:
        return ("rate", entry["frequency"])
    if mode == 0:
        return ("stop",)
    if mode == 2 and entry["buffer"] is not None:
        return ("write",)
    if mode == 2:
        return ("run", entry["frequency"])
    if mode == MODE_AUTOSTART_ON:
        return ("autostart-on", entry["frequency"])
    if mode == MODE_AUTOSTART_OFF:
        return ("autostart-off",)
    return ("unknown", mode)


def read_log(path):
    """A board log's entries; none when there is no log."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        data = f.read().decode()
    # A line is written whole and flushed, but a read may still catch the
    # last one half-way.
    return [json.loads(line) for line in data.split("\n")[:-1]]


def request_size(exe):
    """The size of the request block that `exe` sends: 32 bytes and a
    pointer, as its PE header's machine type says."""
    with open(exe, "rb") as f:
        header = f.read(4096)
    if len(header) < 0x40:
        return None
    pe = struct.unpack_from("<I", header, 0x3C)[0]
    if header[pe:pe + 4] != b"PE\0\0" or len(header) < pe + 6:
        return None
    machine = struct.unpack_from("<H", header, pe + 4)[0]
    return {0x14C: 36, 0x8664: 40}.get(machine)  # i686, x86_64


def written_blocks(entries):
    return [e["buffer"] for e in entries if e["op"] == "Setup" and e.get("buffer") is not None]


def match_requests(actual, expected):
    """Checks that `actual` holds the `expected` requests in order. Every
    repaint of the panel sends the rate again, and Wine repaints when it
    likes (an exposed area, a closed list), so rate requests that the
    expectation does not name are allowed between the expected ones; any other
    request is not."""
    pending = list(expected)
    for got in actual:
        if pending and got == pending[0]:
            pending.pop(0)
        elif got[0] != "rate":
            raise CaseFailure("unexpected request %r; expected %r; all: %r" % (got, pending, actual))
    if pending:
        raise CaseFailure("missing requests %r; got %r" % (pending, actual))


class Rig:
    def __init__(self, build, exe=None, work=None, reference=None, other_board=None, ctl=None,
                 boardscope=None):
        self.build = os.path.abspath(build)
        # The other architecture's VirtualBoard.dll, if it was built.
        self.other_board = os.path.abspath(other_board) if other_board else None
        self.exe = os.path.abspath(exe) if exe else os.path.join(self.build, "src", "app", "QorvelGen.exe")
        self.ctl_exe = os.path.abspath(ctl) if ctl else os.path.join(self.build, "tools", "qorvelctl", "qorvelctl.exe")
        self.boardscope = os.path.abspath(boardscope) if boardscope else os.path.join(
            ROOT, "build", "host", "tools", "boardscope", "boardscope")
        self.poke_exe = os.path.join(self.build, "tests", "e2e", "qorvel_poke.exe")
        self.work = os.path.abspath(work) if work else os.path.join(self.build, "e2e")
        self.reference = os.path.abspath(reference) if reference else None
        self.request_size = None  # known once the exe is there
        self.runs = []  # this case's program runs, ended after the case

    def check_runs(self):
        """What must hold for every run of a case: the size of every request,
        and, with a reference, the blocks written."""
        for run in self.runs:
            name = os.path.basename(run.dir)
            entries = run.log()
            sizes = sorted({e.get("size") for e in entries if e["op"] == "Setup"}, key=str)
            check(sizes in ([], [self.request_size]), "%s: requests of size %r, not %d"
                  % (name, sizes, self.request_size))
            blocks = written_blocks(entries)
            if self.reference is None or not blocks:
                continue
            # Where the same case left its log there (beside its folder for a
            # folder whose name the board cannot open a log in).
            path = os.path.join(self.reference, os.path.relpath(run.log_path, self.work))
            check(os.path.exists(path), "%s: no reference log %s" % (name, path))
            theirs = written_blocks(read_log(path))
            check(len(blocks) == len(theirs), "%s: %d blocks written, %d in %s" % (name, len(blocks), len(theirs),
                                                                                path))
            for number, (ours, reference) in enumerate(zip(blocks, theirs), 1):
                check(len(ours) == len(reference), "%s: block %d holds %d values, %d in %s"
                      % (name, number, len(ours), len(reference), path))
                differ = [i for i, (a, b) in enumerate(zip(ours, reference)) if a != b]
                if differ:
                    first = differ[0]
                    raise CaseFailure("%s: block %d differs from %s in %d values, the first at %d: %d, not %d"
                                      % (name, number, path, len(differ), first, ours[first], reference[first]))

    def keeper_alive(self):
        """True while a rig keeper of this prefix runs."""
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    if b"rig_keeper.exe" not in f.read():
                        continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if ("WINEPREFIX=" + os.environ.get("WINEPREFIX", "")).encode() in f.read().split(b"\0"):
                        return True
            except OSError:
                continue
        return False

    def wine_reg(self, *args):
        """Runs Wine's reg with the arguments (Unicode passes whole: Wine takes
        the command line in the locale's UTF-8)."""
        subprocess.run([WINE, "reg"] + list(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=60)

    def register_board(self, name, dll):
        """Registers a driver under the device name in both registry views (a
        32-bit program reads the 32-bit one); None unregisters it."""
        key = "HKLM\\SOFTWARE\\Brackwell\\Drivers\\1.0\\" + name
        for view in ("/reg:64", "/reg:32"):
            if dll is None:
                self.wine_reg("delete", key, "/f", view)
            else:
                # Wine's drive Z: is the Unix root.
                self.wine_reg("add", key, "/v", "path", "/t", "REG_SZ", "/d", "Z:" + dll.replace("/", "\\"),
                              "/f", view)

    def poke(self, *args, check_rc=True):
        result = subprocess.run([WINE, self.poke_exe] + [str(a) for a in args],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
        text = result.stdout.decode("utf-8").strip()
        if check_rc and result.returncode != 0:
            raise CaseFailure("qorvel_poke %s: exit %d, %s" % (" ".join(map(str, args)), result.returncode, text))
        return json.loads(text) if text.startswith("{") else {}

    @staticmethod
    def xdotool(*args):
        subprocess.run(["xdotool"] + [str(a) for a in args], check=True, timeout=10)

    def watch(self, milliseconds, action):
        """Does `action` while qorvel_poke watches the cursor and the help
        balloons for `milliseconds`; returns what it saw."""
        watcher = subprocess.Popen([WINE, self.poke_exe, "watch", str(milliseconds)], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        try:
            ready = watcher.stdout.readline()
            check(ready.startswith(b'{"ready"'), "qorvel_poke watch: %r" % ready)
            action()
            out, _ = watcher.communicate(timeout=milliseconds / 1000 + 30)
        finally:
            if watcher.poll() is None:
                watcher.kill()
                watcher.wait()
        check(watcher.returncode == 0, "qorvel_poke watch: exit %d" % watcher.returncode)
        return json.loads(out.decode("utf-8"))


class Run:
    """One run of QorvelGen.exe in a working directory of its own."""

    def __init__(self, rig, name, cfg=QUIET_CFG, sav=None, env=None, log_path=None):
        self.rig = rig
        self.dir = os.path.join(rig.work, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        if cfg is not None:
            self.write_file("QorvelGen.cfg", cfg.encode() if isinstance(cfg, str) else cfg)
        if sav is not None:
            self.write_file("QorvelGen.sav", sav)
        # The virtual board opens its log by a narrow name: in a folder whose
        # name the code page cannot spell, a case puts it elsewhere.
        self.log_path = log_path or os.path.join(self.dir, "board.log")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("VBOARD_")}
        self.env["VBOARD_LOG"] = self.log_path
        self.env.update(env or {})
        self.process = None
        self.mark = 0
        rig.runs.append(self)

    def write_file(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def read_file(self, name):
        path = os.path.join(self.dir, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def start(self):
        self.output = open(os.path.join(self.dir, "wine.log"), "wb")
        self.process = subprocess.Popen([WINE, self.rig.exe], cwd=self.dir, env=self.env,
                                        stdout=self.output, stderr=subprocess.STDOUT)
        return self

    def ctl(self, *args, cwd=None):
        """One run of qorvelctl in this run's folder (or cwd) with its board:
        the exit code as the shell sees it, standard output and error."""
        check(os.path.exists(self.rig.ctl_exe), "no qorvelctl at %s" % self.rig.ctl_exe)
        result = subprocess.run([WINE, self.rig.ctl_exe] + [str(a) for a in args], cwd=cwd or self.dir,
                                env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")

    def session(self, lines, timeout=120):
        """One qorvelctl session in this run's folder, fed `lines` (and then
        the end of its input): the exit code and the JSON lines it answered."""
        result = subprocess.run([WINE, self.rig.ctl_exe, "session"], cwd=self.dir, env=self.env,
                                input=("\n".join(lines) + "\n").encode(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=timeout)
        return result.returncode, [json.loads(line) for line in result.stdout.decode().splitlines()]

    def ctl_on_a_terminal(self, *args, lang="ru_RU.UTF-8"):
        """qorvelctl with a terminal for its output: Wine makes a console of
        a Unix terminal. LANG sets the process's code pages. The exit code and
        what the terminal showed, without its control sequences."""
        transcript = os.path.join(self.dir, "terminal.out")
        command = " ".join(shlex.quote(str(a)) for a in [WINE, self.rig.ctl_exe] + list(args))
        result = subprocess.run(["script", "-qec", command, transcript], cwd=self.dir, env=dict(self.env, LANG=lang),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                timeout=60)
        with open(transcript, "rb") as f:
            shown = f.read().decode("utf-8", "replace")
        return result.returncode, re.sub(r"\x1b\[[?0-9;]*[A-Za-z]", "", shown)

    def start_panel(self):
        self.start()
        self.rig.poke("wait-panel", 15000)
        # The start-up requests are done before the panel shows.
        wait_until(lambda: len(self.requests()) >= 2, 5, "the start-up requests")
        return self

    def wait_exit(self, timeout=15):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise CaseFailure("the program did not end within %d s" % timeout)

    def crash_debuggers(self):
        """Pids of the crash debuggers this run's program started. Wine starts
        one for an unhandled fault; it inherits the program's environment,
        and with it this run's own board log path."""
        mark = ("VBOARD_LOG=" + self.log_path).encode()
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    if b"winedbg" not in f.read().lower():
                        continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if mark in f.read().split(b"\0"):
                        pids.append(int(entry))
            except OSError:
                continue  # gone meanwhile, or not ours to read
        return pids

    def stop(self):
        """Ends the program if a failed case left it running, and the crash
        debugger that holds it after an unhandled fault."""
        for pid in self.crash_debuggers():
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.process:
            self.output.close()

    # --- the board's log -------------------------------------------------
    def log(self):
        return read_log(self.log_path)

    def requests(self, since=0):
        return [r for r in (request(e) for e in self.log()[since:]) if r]

    def set_mark(self):
        """Requests from here on are what the next action caused."""
        self.mark = len(self.log())

    def new_entries(self):
        return self.log()[self.mark:]

    def new_requests(self):
        return self.requests(self.mark)

    def expect(self, expected, timeout=5, settle=0.3):
        """Waits for the expected requests since the mark, lets the program
        settle, and checks that nothing else was sent."""
        non_rate = [e for e in expected if e[0] != "rate"]

        def done():
            got = self.new_requests()
            return len([g for g in got if g[0] != "rate"]) >= len(non_rate) and len(got) >= len(expected)
        wait_until(done, timeout, "requests %r (got %r)" % (expected, self.new_requests()))
        time.sleep(settle)
        match_requests(self.new_requests(), expected)

    # --- the panel ---------------------------------------------------------
    def info(self):
        return self.rig.poke("info")

    def centre(self, control):
        left, top, right, bottom = self.info()["controls"][str(control)]
        return (left + right) // 2, (top + bottom) // 2

    def click_at(self, x, y):
        self.rig.xdotool("mousemove", x, y, "click", 1)

    def click(self, control):
        self.click_at(*self.centre(control))

    def activate(self):
        """A click into an empty strip of the panel (between the channel
        frames and the buttons) gives it the keyboard, as a user's would."""
        info = self.info()
        write = info["controls"][str(WRITE)]
        start = info["controls"][str(START)]
        self.click_at(write[0] - 3, (start[1] + start[3]) // 2)
        time.sleep(0.2)

    def key(self, *keys):
        self.rig.xdotool("key", *keys)


# --- checks shared by cases ------------------------------------------------

def check_rate_request(entry, frequency):
    check(entry["op"] == "Setup" and entry["selector"] == 0, "not a rate request: %r" % entry)
    fields = {k: entry[k] for k in ("code", "mode", "frequency", "address", "flag", "count", "buffer")}
    check(fields == {"code": 102, "mode": 2, "frequency": frequency, "address": 4096, "flag": 1,
                     "count": 2000, "buffer": None}, "rate request %r" % entry)


def check_stop_request(entry):
    fields = {k: entry[k] for k in ("selector", "code", "mode", "frequency", "address", "flag", "count", "buffer")}
    check(fields == {"selector": 1, "code": 102, "mode": 0, "frequency": 0.0, "address": 4096, "flag": 0,
                     "count": 0, "buffer": None}, "stop request %r" % entry)


def setups(entries):
    return [e for e in entries if e["op"] == "Setup"]


def channel(buffer, index):
    return buffer[index:2000:2]


def expected_sine(amplitude, periods, k):
    """Sample k of a channel: the amplitude times sin(k theta), rounded half
    away from zero."""
    x = amplitude * math.sin(k * periods * 0.006283185307179587)
    return int(x + 0.5) if x >= 0 else -int(-x + 0.5)


def check_block(entry, amplitude1, periods1, amplitude2, periods2):
    check(entry["selector"] == 1 and entry["mode"] == 2 and entry["count"] == 2048 and entry["address"] == 4096
          and entry["flag"] == 1 and entry["frequency"] == 0.0, "write request %r" % {k: v for k, v in entry.items()
                                                                                     if k != "buffer"})
    buffer = entry["buffer"]
    check(len(buffer) == 2048, "the block holds %d values" % len(buffer))
    check(buffer[2000:] == [0] * 48, "the 24 pairs after the block are not zero")
    # Points where the recurrence and the exact sine agree to the unit.
    for index, amplitude, periods in ((0, amplitude1, periods1), (1, amplitude2, periods2)):
        samples = channel(buffer, index)
        quarter = 250 // periods
        for k in (0, 1, 2, quarter, 2 * quarter, 3 * quarter):
            want = expected_sine(amplitude, periods, k)
            check(abs(samples[k] - want) <= 1, "channel %d sample %d is %d, not %d"
                  % (index + 1, k, samples[k], want))
        if 250 % periods == 0:  # the peaks fall on samples
            check(max(samples) == amplitude and min(samples) == -amplitude,
                  "channel %d peaks %d/%d, not +-%d" % (index + 1, max(samples), min(samples), amplitude))


def area(rect):
    return (rect[2] - rect[0]) * (rect[3] - rect[1])


def crop(rect):
    """The -crop geometry of a screen rectangle."""
    left, top, right, bottom = rect
    return "%dx%d+%d+%d" % (right - left, bottom - top, left, top)


def ppm_pixels(ppm):
    """The width and the RGB bytes of a binary PPM image, one byte a sample."""
    # P6 header: magic, width, height, maximum, each followed by whitespace.
    fields, pos = [], 0
    while len(fields) < 4:
        while ppm[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not ppm[end:end + 1].isspace():
            end += 1
        fields.append(ppm[pos:end])
        pos = end
    pixels = ppm[pos + 1:]  # one whitespace byte after the maximum
    # import writes 16 bits a sample, most significant byte first.
    return int(fields[1]), pixels[::2] if int(fields[3]) > 255 else pixels


def screen_pixels(rect):
    """The width and the RGB bytes of the screen inside rect."""
    return ppm_pixels(subprocess.run([IMPORT, "-window", "root", "-crop", crop(rect), "ppm:-"],
                                     stdout=subprocess.PIPE, check=True, timeout=20).stdout)


def dark_pixels(rect):
    """Pixels darker than mid-grey on the screen inside rect."""
    _, pixels = screen_pixels(rect)
    return sum(1 for i in range(0, len(pixels) - 2, 3) if pixels[i] + pixels[i + 1] + pixels[i + 2] < 3 * 96)


def text_lines(rect, inset):
    """The lines of dark text inside rect (bands of rows holding dark pixels)
    and the number of dark pixels within `inset` pixels of its edges."""
    width, pixels = screen_pixels(rect)
    height = len(pixels) // (3 * width)
    lines, outside, previous = 0, 0, False
    for y in range(height):
        dark_row = False
        for x in range(width):
            i = 3 * (y * width + x)
            if pixels[i] + pixels[i + 1] + pixels[i + 2] < 3 * 96:
                if x < inset or y < inset or x >= width - inset or y >= height - inset:
                    outside += 1
                else:
                    dark_row = True
        lines += dark_row and not previous
        previous = dark_row
    return lines, outside


def became(seen, test, what):
    """The first state in a watch's record that passes `test`; it must not
    have passed from the start."""
    for state in seen["changes"]:
        if test(state):
            check(state["t"] > 0, "%s already when the watch began" % what)
            return state
    raise CaseFailure("no %s in %d ms: %r" % (what, seen["end"], seen["changes"]))


def check_help_text(balloon, control):
    """Checks, character for character, that the balloon's window holds the
    control's help text."""
    check(balloon["text"] == HELP_TEXTS[control], "balloon over %d says %r, not %r"
          % (control, balloon["text"], HELP_TEXTS[control]))


# --- the cases -----------------------------------------------------------

CASES = []


def case(function):
    CASES.append(function)
    return function


@case
def startup_requests_title_controls_and_centring(rig):
    cfg = QUIET_CFG + "FreqSIN = 1 2 3\r\n"
    run = Run(rig, "startup", cfg=cfg, sav=saved_state(2000, 16384, 8192, 3, 19)).start_panel()
    time.sleep(2.3)  # two presence polls
    info = run.info()
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")
    entries = run.log()

    ops = [(e["op"], e.get("item")) for e in entries[:6]]
    check(ops == [("Create", None), ("GetInfo", 17), ("Open", None), ("GetInfo", 21), ("GetInfo", 200),
                  ("GetInfo", 53)], "attach calls %r" % ops)
    check(entries[0]["name"] == "IADCDevice", "interface name")
    check(entries[2]["args"] == [1, 1, 0, 0], "Open arguments %r" % entries[2]["args"])
    calls = setups(entries)
    check_rate_request(calls[0], 2000.0)
    check_stop_request(calls[1])
    # Afterwards only repaints' rate requests, and no stop at exit.
    for extra in calls[2:]:
        check_rate_request(extra, 2000.0)
    check(entries[-1]["op"] == "Release", "the last call is %r" % entries[-1])
    polls = [e for e in entries if e["op"] == "GetInfo" and e["item"] == PRESENCE_ITEM]
    check(len(polls) >= 2, "%d presence polls in 2.3 s" % len(polls))
    check(all(b["t"] - a["t"] >= 990 for a, b in zip(polls, polls[1:])), "polls closer than a second")

    check(info["title"] == PANEL_TITLE, "title %r" % info["title"])
    check(info["visible"] == 1 and info["start"] == 0, "visible, Start box clear")
    check(info["sliders"] == {"1013": [16384, 0, 32767], "1018": [8192, 0, 32767], "1023": [2000, 0, 50000]},
          "sliders %r" % info["sliders"])
    combos = info["combos"]
    check(combos["1012"] == {"selection": 3, "count": 20, "text": "* 4 per"} and
          combos["1017"] == {"selection": 19, "count": 20, "text": "*20 per"}, "period lists %r" % combos)
    left, top, right, bottom = info["rect"]
    width, height = info["screen"]
    check(left == (width - (right - left)) // 2 and top == (height - (bottom - top)) // 2,
          "panel at %r is not centred on %r" % (info["rect"], info["screen"]))


@case
def displays_are_drawn_and_survive_a_repaint(rig):
    run = Run(rig, "displays", sav=saved_state(1000, 16384, 16384, 0, 0)).start_panel()
    time.sleep(0.3)
    controls = run.info()["controls"]
    shown = {d: dark_pixels(controls[str(d)]) for d in (DISPLAY1, DISPLAY2, DISPLAY_FREQUENCY)}
    # A channel's text has a line feed and shows as two lines, the rate's has
    # none and shows as one; all of it inside the displays' 2-pixel inset
    # (3 pixels from the window's edge, with its 1-pixel static edge).
    for display, want in ((DISPLAY1, 2), (DISPLAY2, 2), (DISPLAY_FREQUENCY, 1)):
        lines, outside = text_lines(controls[str(display)], 3)
        check(lines == want, "display %d shows %d lines of text, not %d" % (display, lines, want))
        check(outside == 0, "display %d has %d dark pixels outside its inset" % (display, outside))
    run.set_mark()
    run.rig.poke("repaint")
    wait_until(lambda: run.new_requests(), 5, "the repaint")
    time.sleep(0.3)
    repainted = {d: dark_pixels(controls[str(d)]) for d in (DISPLAY1, DISPLAY2, DISPLAY_FREQUENCY)}
    run.key("Escape")
    run.wait_exit()
    # The black text is the only dark thing inside a display's rectangle:
    # its face and sunken edge are light and mid grey.
    for display in shown:
        check(shown[display] > 20, "display %d blank at start (%d dark pixels)" % (display, shown[display]))
        check(repainted[display] > 20, "display %d blank after a repaint (%d dark pixels)"
              % (display, repainted[display]))


def dark_extent(rect):
    """The width and height of the box around the dark pixels inside rect."""
    width, pixels = screen_pixels(rect)
    dark = [(i // 3 % width, i // 3 // width) for i in range(0, len(pixels) - 2, 3)
            if pixels[i] + pixels[i + 1] + pixels[i + 2] < 3 * 96]
    if not dark:
        return 0, 0
    xs, ys = [x for x, _ in dark], [y for _, y in dark]
    return max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


@case
def display_text_grows_with_the_dpi(rig):
    """The panel grows with the system's dots per inch; the displays' text
    must grow with it and still fit its display."""
    key = "HKCU\\Control Panel\\Desktop"
    sizes = {}
    try:
        for dpi in (96, 120, 144, 192):
            # Read by each program as it starts.
            rig.wine_reg("add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
            run = Run(rig, "dpi-%d" % dpi, sav=saved_state(1000, 16384, 16384, 0, 0)).start_panel()
            time.sleep(0.3)
            info = run.info()
            display = info["controls"][str(DISPLAY_FREQUENCY)]
            sizes[dpi] = (info["rect"][2] - info["rect"][0], dark_extent(display))
            lines, outside = text_lines(display, 3)
            if dpi == 192:
                shoot(rig, info["rect"], "panel-192dpi.png")
            run.key("Escape")
            check(run.wait_exit() == 0, "%d dpi: exit code" % dpi)
            check(lines == 1 and outside == 0, "%d dpi: %d lines, %d dark pixels outside the inset"
                  % (dpi, lines, outside))
    finally:
        rig.wine_reg("add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "96", "/f")
    print("     panel width and the text \"1000Hz\" (w x h) by dpi: %s" % ", ".join(
        "%d: %d, %d x %d" % (dpi, panel, text[0], text[1]) for dpi, (panel, text) in sorted(sizes.items())))
    _, (_, height96) = sizes[96]
    for dpi, (_, (_, height)) in sizes.items():
        # As the panel grows, so does the text: about dpi / 96 times its
        # height at 96, give or take the faces' own proportions (the raster
        # face at 96, a scalable one above).
        want = height96 * dpi / 96
        check(abs(height - want) <= max(2, want * 0.2), "%d dpi: the text is %d pixels high, not about %d"
              % (dpi, height, want))


@case
def rate_read_back_is_what_runs(rig):
    run = Run(rig, "readback", sav=saved_state(1000, 100, 100, 0, 0), env={"VBOARD_RATE": "999.5"}).start_panel()
    run.activate()
    run.set_mark()
    run.key("F2")
    # The request asks for 1000 Hz; the board answers 999.5, and that runs.
    run.expect([("rate", 1000.0), ("stop",), ("run", 999.5)])
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def no_driver_registered(rig):
    sav = b"FreqIndex = 1234\r\n; kept as it was\r\n"
    run = Run(rig, "nodriver", cfg="DeviceName = \"NoSuchBoard\"\r\n", sav=sav).start()
    # Silent: no message box holds the program up.
    check(run.wait_exit(10) == NO_PANEL_EXIT, "exit code")
    check(run.log() == [], "the board was reached")
    check(run.read_file("QorvelGen.sav") == sav, "QorvelGen.sav changed")
    check(sorted(os.listdir(run.dir)) == ["QorvelGen.cfg", "QorvelGen.sav", "wine.log"], "files %r"
          % os.listdir(run.dir))


@case
def attach_failures_show_their_message(rig):
    sav = saved_state(777, 1, 2, 3, 4)
    for name, env, text, last_checked in (
            ("notopen", {"VBOARD_OPEN": "0"}, MSG_NOT_CONNECTED, "Open"),
            ("unsuitable", {"VBOARD_INFO17": "0"}, MSG_PROPERTIES, "GetInfo")):
        run = Run(rig, name, sav=sav, env=env).start()
        try:
            box = rig.poke("msgbox", 15000)
            check(box["text"] == text, "%s: message %r" % (name, box["text"]))
            check(box["caption"] == "" and box["owned"] == 0, "%s: box caption %r, owned %d"
                  % (name, box["caption"], box["owned"]))
            check(run.wait_exit() == NO_PANEL_EXIT, "%s: exit code" % name)
        finally:
            run.stop()
        check(run.read_file("QorvelGen.sav") == sav, "%s: QorvelGen.sav changed" % name)
        ops = [e["op"] for e in run.log()]
        check(ops[-2:] == [last_checked, "Release"] and "Setup" not in ops, "%s: calls %r" % (name, ops))


@case
def escape_writes_the_saved_state_where_it_started(rig):
    elsewhere = os.path.join(rig.work, "escape-elsewhere")
    # The second folder's name holds Cyrillic, which only code page 1251
    # spells, and Greek, which it does not: the program must find its way
    # back there whatever the system's code page.
    for number, folder in enumerate(("escape", "escape Измерения Ωμέγα")):
        shutil.rmtree(elsewhere, ignore_errors=True)
        os.makedirs(elsewhere)
        # The driver changes the current directory when it opens the device.
        log = os.path.join(rig.work, "escape-%d.log" % number)
        if os.path.exists(log):
            os.remove(log)
        run = Run(rig, folder, sav=saved_state(1000, 0, 0, 0, 0), env={"VBOARD_CHDIR": elsewhere},
                  log_path=log).start_panel()
        run.set_mark()
        run.rig.poke("slider", AMPLITUDE1, 12345)
        run.rig.poke("slider", AMPLITUDE2, 32767)
        run.rig.poke("slider", FREQUENCY, 25000)
        run.rig.poke("combo", PERIODS1, 7)
        run.rig.poke("combo", PERIODS2, 19)
        run.expect([("rate", 1000.0), ("stop",)] * 2 + [("rate", 25000.0), ("stop",)] * 3)
        run.activate()
        run.key("Escape")
        check(run.wait_exit() == 0, "%s: exit code" % folder)
        check(run.read_file("QorvelGen.sav") == saved_state(25000, 12345, 32767, 7, 19),
              "%s: QorvelGen.sav is %r" % (folder, run.read_file("QorvelGen.sav")))
        check(os.listdir(elsewhere) == [], "%s: files in the driver's directory: %r" % (folder, os.listdir(elsewhere)))
        check(sorted(os.listdir(run.dir)) == ["QorvelGen.cfg", "QorvelGen.sav", "wine.log"],
              "%s: files %r" % (folder, os.listdir(run.dir)))


@case
def close_box_without_a_saved_state(rig):
    run = Run(rig, "closebox", sav=None).start_panel()
    calls = setups(run.log())
    check_rate_request(calls[0], 1000.0)  # no saved state: 1000 Hz, amplitudes 0
    point = run.rig.poke("closebox")
    run.click_at(point["x"], point["y"])
    check(run.wait_exit() == 0, "exit code")
    check(run.read_file("QorvelGen.sav") == saved_state(1000, 0, 0, 0, 0),
          "QorvelGen.sav is %r" % run.read_file("QorvelGen.sav"))
    check(run.log()[-1]["op"] == "Release", "no release at exit")


@case
def f2_twice_also_from_a_focused_control(rig):
    run = Run(rig, "f2", sav=saved_state(3000, 100, 200, 0, 1)).start_panel()
    run.activate()
    run.set_mark()
    run.key("F2")
    run.expect([("rate", 3000.0), ("stop",), ("run", 3000.0)])
    check(run.info()["start"] == 1, "F2 did not check the Start box")
    run_entry = [e for e in run.new_entries() if request(e) == ("run", 3000.0)][0]
    check(run_entry["count"] == 2000 and run_entry["address"] == 4096 and run_entry["flag"] == 1,
          "run request %r" % run_entry)
    # Tab gives a control the focus; the accelerator still comes first.
    run.key("Tab")
    time.sleep(0.2)
    check(run.info()["focus"] > 0, "no control has the focus")
    run.set_mark()
    run.key("F2")
    run.expect([("rate", 3000.0), ("stop",)])
    check(run.info()["start"] == 0, "F2 did not clear the Start box")
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def write_with_start_clear_then_checked(rig):
    run = Run(rig, "write", sav=saved_state(1000, 16384, 8192, 0, 1)).start_panel()
    run.set_mark()
    run.click(WRITE)
    run.expect([("rate", 1000.0), ("stop",), ("stop",), ("write",)])
    block = [e for e in run.new_entries() if request(e) == ("write",)][0]
    check_block(block, 16384, 1, 8192, 2)
    check(run.info()["start"] == 0, "Write changed the Start box")

    run.set_mark()
    run.click(START)
    run.expect([("rate", 1000.0), ("stop",), ("run", 1000.0)], timeout=5)
    run.set_mark()
    run.click(WRITE)
    run.expect([("rate", 1000.0), ("stop",), ("run", 1000.0), ("stop",), ("write",)])
    check(run.info()["start"] == 1, "Write changed the Start box")
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def blocks_from_the_least_to_the_most(rig):
    """Blocks at the ends of the amplitude and period ranges, where rounding
    is hardest: each must also equal the reference build's."""
    run = Run(rig, "blocks", sav=saved_state(1000, 0, 0, 0, 0)).start_panel()
    for amplitude1, periods1, amplitude2, periods2 in ((32767, 20, 1, 1), (12345, 7, 32767, 13),
                                                       (1, 19, 20000, 3), (32767, 1, 0, 20)):
        run.rig.poke("slider", AMPLITUDE1, amplitude1)
        run.rig.poke("slider", AMPLITUDE2, amplitude2)
        run.rig.poke("combo", PERIODS1, periods1 - 1)
        run.rig.poke("combo", PERIODS2, periods2 - 1)
        run.set_mark()
        run.click(WRITE)
        run.expect([("rate", 1000.0), ("stop",), ("stop",), ("write",)])
        block = [e for e in run.new_entries() if request(e) == ("write",)][0]
        check_block(block, amplitude1, periods1, amplitude2, periods2)
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def autostart_on_then_off_pause_a_second_each(rig):
    run = Run(rig, "autostart", sav=saved_state(2500, 100, 100, 0, 0)).start_panel()
    run.set_mark()
    # The second click waits in the queue while the first request pauses.
    run.click(AUTOSTART_ON)
    run.click(AUTOSTART_OFF)
    run.expect([("rate", 2500.0), ("stop",), ("autostart-on", 2500.0), ("rate", 2500.0), ("stop",),
                ("autostart-off",)], timeout=6)
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")
    entries = run.log()[run.mark:]
    on = [e for e in entries if request(e) == ("autostart-on", 2500.0)][0]
    off = [e for e in entries if request(e) == ("autostart-off",)][0]
    check((on["address"], on["flag"], on["count"]) == (4096, 1, 2000), "auto-start-on request %r" % on)
    check((off["address"], off["flag"], off["count"], off["frequency"]) == (0, 1, 0, 0.0),
          "auto-start-off request %r" % off)
    after_on = entries[entries.index(on) + 1]
    after_off = entries[entries.index(off) + 1]
    # Nothing reaches the board during either pause.
    check(after_on["t"] - on["t"] >= 995, "%d ms after auto-start on" % (after_on["t"] - on["t"]))
    check(after_off["t"] - off["t"] >= 995, "%d ms after auto-start off" % (after_off["t"] - off["t"]))


@case
def periods_list_applies_when_it_closes(rig):
    run = Run(rig, "periods", sav=saved_state(1000, 16384, 16384, 0, 0)).start_panel()
    # Open the list with the mouse, pick the next entry with the keyboard.
    run.set_mark()
    run.click(PERIODS1)
    time.sleep(0.3)
    run.key("Down", "Return")
    run.expect([("rate", 1000.0), ("stop",)])
    check(run.info()["combos"]["1012"]["selection"] == 1, "selection did not move")
    # Closing it again without a change applies again.
    run.set_mark()
    run.click(PERIODS1)
    time.sleep(0.3)
    run.key("Return")
    run.expect([("rate", 1000.0), ("stop",)])
    # An arrow key on the closed list changes the choice without applying...
    run.set_mark()
    run.key("Down")
    time.sleep(0.5)
    check(run.info()["combos"]["1012"]["selection"] == 2, "the arrow key did not move the selection")
    check(run.new_requests() == [], "a closed list applied: %r" % run.new_requests())
    # ...and a Write picks it up: three periods on channel 1.
    run.click(WRITE)
    run.expect([("rate", 1000.0), ("stop",), ("stop",), ("write",)])
    block = [e for e in run.new_entries() if request(e) == ("write",)][0]
    check_block(block, 16384, 3, 16384, 1)
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")
    check(run.read_file("QorvelGen.sav") == saved_state(1000, 16384, 16384, 2, 0), "saved state")


@case
def spinner_steps_and_the_top_of_the_range(rig):
    run = Run(rig, "spinner", sav=saved_state(50000, 100, 100, 0, 0)).start_panel()
    left, top, right, bottom = run.info()["controls"][str(SPIN_FREQUENCY)]
    up = ((left + right) // 2, top + (bottom - top) // 4)
    down = ((left + right) // 2, bottom - (bottom - top) // 4)
    # A click gives two notifications (the step, then the end of the
    # scroll); each applies, the second with a step of 0.
    run.set_mark()
    run.click_at(*up)
    run.expect([("rate", 50000.0), ("stop",), ("rate", 50000.0), ("stop",)])
    check(all(r == ("rate", 50000.0) for r in run.new_requests() if r[0] == "rate"),
          "rates %r" % run.new_requests())
    check(run.info()["sliders"]["1023"][0] == 50000, "the slider left the top")
    run.set_mark()
    run.click_at(*down)
    run.expect([("rate", 49999.0), ("stop",), ("rate", 49999.0), ("stop",)])

    left, top, right, bottom = run.info()["controls"][str(SPIN1)]
    run.click_at((left + right) // 2, top + (bottom - top) // 4)
    run.click_at((left + right) // 2, top + (bottom - top) // 4)
    run.click_at((left + right) // 2, bottom - (bottom - top) // 4)
    wait_until(lambda: run.info()["sliders"]["1013"][0] == 101, 5, "amplitude 1 at 101")
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")
    check(run.read_file("QorvelGen.sav") == saved_state(49999, 101, 100, 0, 0),
          "QorvelGen.sav is %r" % run.read_file("QorvelGen.sav"))


@case
def frequency_slider_at_zero_applies_one_hertz(rig):
    run = Run(rig, "slider0", sav=saved_state(1000, 100, 32767, 0, 0)).start_panel()
    run.set_mark()
    run.rig.poke("slider", FREQUENCY, 0)
    run.expect([("rate", 1.0), ("stop",)])
    check(run.info()["sliders"]["1023"][0] == 0, "the slider does not rest at 0")
    # A trackbar never reports a position past its range, so the panel's own
    # clamp is reached by a step past the top: the up arrow of amplitude 2 at
    # 32767 asks for 32768, which the panel holds at 32767.
    run.set_mark()
    left, top, right, bottom = run.info()["controls"][str(SPIN2)]
    run.click_at((left + right) // 2, top + (bottom - top) // 4)
    run.expect([("rate", 1.0), ("stop",), ("rate", 1.0), ("stop",)])
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")
    check(run.read_file("QorvelGen.sav") == saved_state(1, 100, 32767, 0, 0),
          "QorvelGen.sav is %r" % run.read_file("QorvelGen.sav"))


@case
def repaint_sends_the_rate_only(rig):
    run = Run(rig, "repaint", sav=saved_state(4321, 100, 100, 0, 0)).start_panel()
    run.activate()
    run.key("F2")  # running, so a stray stop or run would show
    wait_until(lambda: ("run", 4321.0) in run.requests(), 5, "the run request")
    time.sleep(0.5)
    run.set_mark()
    time.sleep(0.5)
    check(run.new_requests() == [], "requests without a repaint: %r" % run.new_requests())
    run.rig.poke("repaint")
    wait_until(lambda: run.new_requests(), 5, "the repaint's request")
    time.sleep(0.3)
    got = run.new_requests()
    check(got and all(r == ("rate", 4321.0) for r in got), "a repaint sent %r" % got)
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def board_gone_while_running(rig):
    run = Run(rig, "gone", sav=saved_state(1500, 300, 400, 5, 6), env={"VBOARD_GONE_AFTER": "2"}).start_panel()
    run.activate()
    run.key("F2")
    try:
        box = rig.poke("msgbox", 8000)
        check(box["text"] == MSG_GONE, "message box %r" % box)
        check(box["owned_by_panel"] == 1 and box["caption"] == PANEL_TITLE,
              "box owned by panel %d, caption %r" % (box["owned_by_panel"], box["caption"]))
        check(run.wait_exit() == 0, "exit code")
    finally:
        run.stop()
    entries = run.log()
    polls = [e["value"] for e in entries if e["op"] == "GetInfo" and e["item"] == PRESENCE_ITEM]
    check(polls == [1, 1, 0], "presence answers %r" % polls)
    check(entries[-1]["op"] == "Release" and request(entries[-2]) is None, "calls at the end: %r" % entries[-2:])
    check(run.read_file("QorvelGen.sav") == saved_state(1500, 300, 400, 5, 6), "saved state")


@case
def driver_faults_in_the_write_and_the_run_leave_the_panel_working(rig):
    # Real clicks: Wine shields a message sent from another process, so a
    # click posted by the window system is what a user's fault meets.
    sav = saved_state(1000, 16384, 8192, 0, 1)
    write_requests = [("rate", 1000.0), ("stop",), ("stop",), ("write",)]
    run_requests = [("rate", 1000.0), ("stop",), ("run", 1000.0)]
    # The faulting click, then one that shows the board is still reached.
    # With the Start box set, Write runs the board first, which faults again.
    plans = {"write": ((WRITE, write_requests), (START, run_requests)),
             "run": ((START, run_requests), (WRITE, run_requests + write_requests[2:]))}
    for faulty, plan in plans.items():
        for kind in ("access", "divide", "cxx"):
            what = "%s:%s" % (faulty, kind)
            run = Run(rig, "fault-%s-%s" % (faulty, kind), sav=sav, env={"VBOARD_FAULT": what}).start_panel()
            # Taken beforehand: a panel held by an unhandled fault answers nothing.
            points = {control: run.centre(control) for control in (WRITE, START)}
            try:
                for control, expected in plan:
                    run.set_mark()
                    run.click_at(*points[control])
                    run.expect(expected)
            except CaseFailure as failure:
                debuggers = run.crash_debuggers()
                raise CaseFailure("%s: %s" % (what, "the fault was not caught (crash debugger %r)" % debuggers
                                              if debuggers else failure))
            check(run.crash_debuggers() == [], "%s: the crash debugger started" % what)
            check(run.info()["start"] == 1, "%s: the Start box is clear" % what)
            run.key("Escape")
            check(run.wait_exit() == 0, "%s: exit code" % what)
            check(run.read_file("QorvelGen.sav") == sav, "%s: QorvelGen.sav is %r" % (what, run.read_file("QorvelGen.sav")))
            check(b"Unhandled" not in run.read_file("wine.log"), "%s: %r" % (what, run.read_file("wine.log")))


def random_bytes(seed, size):
    return random.Random(seed).randbytes(size)


def check_leaves_only(run, what, names=("QorvelGen.cfg", "QorvelGen.sav", "board.log", "wine.log")):
    check(sorted(os.listdir(run.dir)) == sorted(names), "%s: files %r" % (what, sorted(os.listdir(run.dir))))


@case
def settings_files_of_random_bytes_at_and_over_the_size_limit(rig):
    # 131072 bytes are read (no key in them: the defaults and clamps), one
    # more and the files count as absent (the start values). The board's
    # name is the start value either way.
    for size, rate, saved in ((131072, 1.0, saved_state(1, 16384, 16384, 0, 0)),
                              (131073, 1000.0, saved_state(1000, 0, 0, 0, 0))):
        what = "%d bytes" % size
        run = Run(rig, "random-%d" % size, cfg=random_bytes(size, size), sav=random_bytes(size + 1, size))
        run.start_panel()
        check_rate_request(setups(run.log())[0], rate)
        run.activate()
        run.key("Escape")
        check(run.wait_exit() == 0, "%s: exit code" % what)
        check(run.read_file("QorvelGen.sav") == saved, "%s: QorvelGen.sav is %r" % (what, run.read_file("QorvelGen.sav")))
        check_leaves_only(run, what)


@case
def saved_state_that_is_a_directory_stays_one(rig):
    run = Run(rig, "sav-directory")
    os.mkdir(os.path.join(run.dir, "QorvelGen.sav"))
    run.start_panel()
    check_rate_request(setups(run.log())[0], 1000.0)  # read as a missing file
    run.activate()
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")
    check(os.path.isdir(os.path.join(run.dir, "QorvelGen.sav")) and os.listdir(os.path.join(run.dir, "QorvelGen.sav")) == [],
          "QorvelGen.sav is no longer an empty directory")
    check_leaves_only(run, "directory")


def chattr(flag, *paths):
    subprocess.run(["chattr", flag] + list(paths), check=True, timeout=10)


def change_amplitude_then_escape(run, what):
    """On a panel started from saved_state(2000, 100, 200, 3, 4): channel 1's
    amplitude to 12345, then a real Esc; the program must end with 0, having
    saved saved_state(2000, 12345, 200, 3, 4) if it could."""
    check_rate_request(setups(run.log())[0], 2000.0)
    run.set_mark()
    run.rig.poke("slider", AMPLITUDE1, 12345)
    run.expect([("rate", 2000.0), ("stop",)])
    run.activate()
    run.key("Escape")
    check(run.wait_exit() == 0, "%s: exit code" % what)


@case
def no_file_can_be_created_in_the_working_directory(rig):
    # Root ignores permission bits; an immutable directory is one in which
    # no file can be created (its files stay writable unless they are
    # immutable too). The program's and the board's logs exist beforehand.
    old = saved_state(2000, 100, 200, 3, 4)
    for sav_locked in (False, True):
        what = "QorvelGen.sav immutable too" if sav_locked else "QorvelGen.sav writable"
        run = Run(rig, "locked-sav" if sav_locked else "locked-dir", sav=old)
        run.write_file("board.log", b"")
        run.write_file("wine.log", b"")
        locked = [run.dir] + ([os.path.join(run.dir, "QorvelGen.sav")] if sav_locked else [])
        chattr("+i", *locked)
        try:
            run.start_panel()
            change_amplitude_then_escape(run, what)
        finally:
            chattr("-i", *locked)
        want = old if sav_locked else saved_state(2000, 12345, 200, 3, 4)
        check(run.read_file("QorvelGen.sav") == want, "%s: QorvelGen.sav is %r" % (what, run.read_file("QorvelGen.sav")))
        check_leaves_only(run, what)


@contextlib.contextmanager
def held_open(rig, directory, name, sharing):
    """Keeps directory/name open in another Windows process (qorvel_poke
    hold) for reading, sharing read and write ("read-write") or nothing
    ("none"), never delete: as a viewer, a sync client or a scanner may."""
    holder = subprocess.Popen([WINE, rig.poke_exe, "hold", name, sharing], cwd=directory,
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        ready = holder.stdout.readline()
        check(ready.startswith(b'{"held"'), "qorvel_poke hold %s %s: %r" % (name, sharing, ready))
        yield
        holder.stdin.close()
        check(holder.wait(timeout=30) == 0, "qorvel_poke hold: exit %d" % holder.returncode)
    finally:
        if holder.poll() is None:
            holder.kill()
            holder.wait()


@case
def saved_state_held_open_by_another_program(rig):
    # Such a handle forbids replacing the file by another one, but a writer
    # that lets others read may still rewrite it in place; one that shares
    # nothing keeps every writer out, and the old file must stay as it was.
    old = saved_state(2000, 100, 200, 3, 4)
    for sharing, want in (("read-write", saved_state(2000, 12345, 200, 3, 4)), ("none", old)):
        what = "held sharing " + sharing
        run = Run(rig, "held-" + sharing, sav=old).start_panel()
        with held_open(rig, run.dir, "QorvelGen.sav", sharing):
            change_amplitude_then_escape(run, what)
        check(run.read_file("QorvelGen.sav") == want, "%s: QorvelGen.sav is %r" % (what, run.read_file("QorvelGen.sav")))
        check_leaves_only(run, what)


def keep_the_desktop(rig):
    """Starts the rig's keeper again when the end of a session took it (Wine
    ends every process that agreed to it), so later cases start as quickly."""
    if not rig.keeper_alive():
        subprocess.Popen([WINE, os.path.join(rig.build, "tests", "rig", "rig_keeper.exe")],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


@case
def windows_session_end_saves_once_and_a_cancelled_one_changes_nothing(rig):
    """A log-off or shutdown with the panel open (wineboot --end-session sends
    every top-level window WM_QUERYENDSESSION, then WM_ENDSESSION, as Windows
    does): what the panel holds is saved, the device released once, and no
    request follows. A session end that another program refuses changes
    nothing."""
    try:
        # A program with unsaved work, started first, so it is asked first
        # and the end of the session is called off before it reaches the panel.
        refuser = subprocess.Popen([WINE, rig.poke_exe, "refuse-end", "20000"], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        check(refuser.stdout.readline().startswith(b'{"ready"'), "the refusing window did not come up")
        run = Run(rig, "session-end", sav=saved_state(2000, 100, 200, 3, 4)).start_panel()
        run.set_mark()
        run.rig.poke("slider", AMPLITUDE1, 12345)
        run.expect([("rate", 2000.0), ("stop",)])
        subprocess.run([WINE, "wineboot", "--end-session"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        told = json.loads(refuser.communicate(timeout=30)[0].decode())
        check(told["queries"] == 1 and told["ending"] == 0, "the refusing window was told %r" % told)
        # And as Windows tells the windows it asked before the one that refused.
        check(rig.poke("cancel-end") == {"agreed": 1}, "the panel refused the end of the session")
        time.sleep(0.3)
        check(run.process.poll() is None, "the panel ended with a session end that was called off")
        check(run.read_file("QorvelGen.sav") == saved_state(2000, 100, 200, 3, 4), "a cancelled session end saved")
        check("Release" not in [e["op"] for e in run.log()], "a cancelled session end released the device")

        run.set_mark()
        run.rig.poke("slider", AMPLITUDE1, 23456)
        run.expect([("rate", 2000.0), ("stop",)])
        subprocess.run([WINE, "wineboot", "--end-session"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        check(run.wait_exit() == 0, "exit code")
    finally:
        keep_the_desktop(rig)
    check(run.read_file("QorvelGen.sav") == saved_state(2000, 23456, 200, 3, 4),
          "QorvelGen.sav is %r" % run.read_file("QorvelGen.sav"))
    # The slider's rate and stop, then (the presence poll aside) the release,
    # once, and nothing after it.
    ops = [e["op"] for e in run.new_entries() if e["op"] != "GetInfo"]
    check(ops == ["Setup", "Setup", "Release"], "after the slider: %r" % ops)
    check(run.log()[-1]["op"] == "Release", "after the release: %r" % run.log()[-1])


@case
def driver_in_a_folder_named_in_any_script(rig):
    """A driver registered under a Cyrillic device name, in a folder whose
    name holds Cyrillic and Greek (which code page 1251 does not spell). The
    name is found whether QorvelGen.cfg was saved in 1251 ("ANSI") or as
    UTF-8, with the byte-order mark or without, as Notepad saves it."""
    folder = os.path.join(rig.work, "Драйверы платы Ωμέγα")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    dll = os.path.join(folder, "VirtualBoard.dll")
    shutil.copy(os.path.join(rig.build, "board", "VirtualBoard.dll"), dll)
    rig.register_board("Плата", dll)
    cfg = "DeviceName = \"Плата\"\r\nHelpPreDelay = 0\r\n"
    try:
        for name, data in (("cyrillic-driver", cfg.encode("cp1251")),
                           ("cyrillic-driver-utf8-bom", b"\xef\xbb\xbf" + cfg.encode()),
                           ("cyrillic-driver-utf8", cfg.encode())):
            run = Run(rig, name, cfg=data, sav=saved_state(3000, 100, 200, 0, 0)).start_panel()
            check_rate_request(setups(run.log())[0], 3000.0)
            run.activate()
            run.key("Escape")
            check(run.wait_exit() == 0, "%s: exit code" % name)
            check(run.log()[0]["op"] == "Create", "%s: the first call is %r" % (name, run.log()[0]))
    finally:
        rig.register_board("Плата", None)


def shoot(rig, rect, name):
    """Leaves a picture of the screen inside rect in the work folder."""
    path = os.path.join(rig.work, name)
    subprocess.run([IMPORT, "-window", "root", "-crop", crop(rect), "+repage", path], check=True, timeout=20)
    print("     screenshot: %s" % path)


# The template's texts of the Start box, the buttons and the three frames.
BUTTON_TEXTS = {START: "Старт!", WRITE: "Запись", AUTOSTART_ON: "АС Вкл", AUTOSTART_OFF: "АС Выкл"}
FRAME_TEXTS = ["Канал DAC1", "Канал DAC2", "Частота дискретизации"]
# How far the Write balloon's size may stray from the reference build's: on
# a Western installation the balloon draws in another face (the dialog's, with
# the Cyrillic set, where the System font has no Cyrillic), of the same height
# and weight but with letters of other widths, so its lines break elsewhere.
BALLOON_SIZE_SLACK = 0.25
# The share of the help text's words that must be read back from the
# balloon's picture: on a Russian system OCR reads over half of them (the
# System font's small letters confuse it, "м" for "н"); Latin mojibake reads
# as none.
BALLOON_WORDS_READ = 0.4
TESSERACT = "/usr/bin/tesseract"


def words_of(text):
    return set(re.findall(r"[а-яё]+", text.lower()))


def read_back(rect, name, rig):
    """The Russian words OCR reads in the screen inside rect (the picture,
    enlarged for the reader, is left in the work folder)."""
    path = os.path.join(rig.work, name)
    subprocess.run([IMPORT, "-window", "root", "-crop", crop(rect), "+repage", "-colorspace", "Gray",
                    "-resize", "300%", path], check=True, timeout=20)
    result = subprocess.run([TESSERACT, path, "-", "-l", "rus"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            check=True, timeout=60)
    return words_of(result.stdout.decode("utf-8", "replace"))


@case
def russian_texts_of_the_panel_and_the_write_balloon(rig):
    run = hover_run(rig, "texts")
    controls = rig.poke("texts")["controls"]
    buttons = {c["id"]: c["text"] for c in controls if c["id"] in BUTTON_TEXTS}
    frames = [c["text"] for c in controls if c["id"] == -1]
    check(buttons == BUTTON_TEXTS, "the buttons say %r" % buttons)
    check(frames == FRAME_TEXTS, "the frames say %r" % frames)
    info = run.info()
    check(info["title"] == PANEL_TITLE, "title %r" % info["title"])
    shoot(rig, info["rect"], "panel.png")

    rig.xdotool("mousemove", *run.centre(WRITE))
    balloon = wait_for_balloon(rig, "the Write button's balloon")
    check_help_text(balloon, WRITE)
    left, top, right, bottom = balloon["rect"]
    size = [right - left, bottom - top]
    print("     the Write balloon: %d x %d" % tuple(size))
    union = [min(info["rect"][0], left), min(info["rect"][1], top), max(info["rect"][2], right),
             max(info["rect"][3], bottom)]
    time.sleep(0.5)  # shown is not yet painted
    shoot(rig, union, "write-balloon.png")
    # The text as it is drawn, not only as the window holds it: a face
    # without Cyrillic glyphs draws the same letters as Latin mojibake.
    wanted = words_of(HELP_TEXTS[WRITE])
    read = read_back(balloon["rect"], "write-balloon-read.png", rig) & wanted
    print("     OCR reads %d of the balloon's %d words" % (len(read), len(wanted)))
    check(len(read) >= BALLOON_WORDS_READ * len(wanted), "OCR reads only %d of the balloon's %d words: %s"
          % (len(read), len(wanted), " ".join(sorted(read))))
    with open(os.path.join(rig.work, "write-balloon.json"), "w") as f:
        json.dump({"size": size, "words": len(read)}, f)
    if rig.reference:
        with open(os.path.join(rig.reference, "write-balloon.json")) as f:
            theirs = json.load(f)["size"]
        for got, want, what in zip(size, theirs, ("width", "height")):
            check(abs(got - want) <= want * BALLOON_SIZE_SLACK, "the Write balloon's %s is %d, %d in %s"
                  % (what, got, want, rig.reference))
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


def photograph_balloon(rig, panel, balloon, before):
    """Leaves a picture of the panel with the balloon in the work folder,
    reads it back and counts, inside the balloon's rectangle, the pixels that
    differ from the screen `before` it (its bubble) and, between the first
    and the last of those on each row, the black ones (its text: the texture
    and the frame are lighter)."""
    union = [min(panel[0], balloon["rect"][0]), min(panel[1], balloon["rect"][1]),
             max(panel[2], balloon["rect"][2]), max(panel[3], balloon["rect"][3])]
    shot = os.path.join(rig.work, "panel-with-balloon.png")
    subprocess.run([IMPORT, "-window", "root", "-crop", crop(union), "+repage", shot], check=True, timeout=20)
    print("     screenshot: %s" % shot)
    width, pixels = ppm_pixels(subprocess.run([CONVERT, shot, "ppm:-"], stdout=subprocess.PIPE, check=True,
                                              timeout=20).stdout)
    check(width == union[2] - union[0] and len(pixels) == 3 * area(union), "the picture is not %r" % union)
    left, top, right, bottom = balloon["rect"]
    changed = text = 0
    for y in range(top, bottom):
        start = (y - union[1]) * width + left - union[0]
        row = pixels[3 * start:3 * (start + right - left)]
        was = before[1][3 * (y * before[0] + left):3 * (y * before[0] + right)]
        bubble = [x for x in range(right - left) if row[3 * x:3 * x + 3] != was[3 * x:3 * x + 3]]
        changed += len(bubble)
        if bubble:
            text += sum(1 for x in range(bubble[0], bubble[-1]) if sum(row[3 * x:3 * x + 3]) < 3 * 32)
    return changed, text


def wait_for_balloon(rig, what):
    """The help balloon, once one is up."""
    def up():
        balloon = rig.poke("balloon", check_rc=False)
        return balloon if "text" in balloon else None
    return wait_until(up, 5, what)


def hover_run(rig, name):
    """A run with hover help, its panel up and no balloon: the cursor waits
    off the panel until then."""
    rig.xdotool("mousemove", 0, 0)
    run = Run(rig, name, cfg=HOVER_CFG, sav=saved_state(1000, 100, 100, 0, 0)).start_panel()
    check(rig.poke("balloon", check_rc=False) == {"error": "no balloon"}, "a balloon before the cursor came")
    return run


def check_anchor(balloon, point, screen):
    """With room above the cursor, the balloon's tail tip, its bottom left
    corner, is at the cursor; where the screen has no room for it on the
    right, it is mirrored and the tip is its bottom right corner."""
    left, top, right, bottom = balloon["rect"]
    x, y = point
    room_on_right = x <= screen[0] - (right - left) - 1
    tip = (left if room_on_right else right, bottom)
    check(y - (bottom - top) >= 0 and tip == point, "balloon at %r for the cursor at %r" % (balloon["rect"], point))


@case
def hover_help_opens_on_the_second_tick_and_keeps_the_focus(rig):
    run = hover_run(rig, "hover")
    run.activate()
    run.key("Tab")
    time.sleep(0.2)
    focus = run.info()["focus"]
    check(focus > 0, "Tab gave no control the focus")
    point = run.centre(WRITE)
    info = run.info()
    before = screen_pixels([0, 0] + info["screen"])  # to tell the balloon's pixels
    seen = rig.watch(4 * HOVER_PERIOD, lambda: rig.xdotool("mousemove", *point))
    arrived = became(seen, lambda state: state["cursor"] == list(point), "cursor on the Write button")
    opened = became(seen, lambda state: state["balloons"], "balloon")
    # Opened by the second tick after the cursor came: one to two periods
    # later. The bounds below are the longest and shortest delays the samples
    # allow; the margins are for late ticks on a busy machine.
    longest, shortest = opened["t"] - arrived["since"], opened["since"] - arrived["t"]
    check(longest >= HOVER_PERIOD * 3 // 4, "the balloon opened %d ms after the cursor came" % longest)
    check(shortest <= 3 * HOVER_PERIOD, "the balloon opened %d ms after the cursor came" % shortest)
    check(len(opened["balloons"]) == 1, "balloons %r" % opened["balloons"])
    balloon = opened["balloons"][0]
    check_help_text(balloon, WRITE)
    check_anchor(balloon, point, info["screen"])
    # Further ticks over the same control leave it as it is.
    later = seen["changes"][seen["changes"].index(opened) + 1:]
    check(all(state["balloons"] == opened["balloons"] for state in later), "the balloon changed: %r" % later)
    check(seen["end"] - opened["t"] >= HOVER_PERIOD, "no tick after the opening was watched")
    check(seen["focus"] == focus and seen["active"] == 1, "focus on %d (was %d), panel active %d"
          % (seen["focus"], focus, seen["active"]))

    changed, text = photograph_balloon(rig, info["rect"], balloon, before)
    check(changed >= area(balloon["rect"]) // 3, "the balloon changed only %d pixels on the screen" % changed)
    check(text >= 1000, "only %d text pixels in the balloon" % text)
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def hover_help_moves_from_write_to_start(rig):
    run = hover_run(rig, "hover-move")
    rig.xdotool("mousemove", *run.centre(WRITE))
    write = wait_for_balloon(rig, "the Write button's balloon")
    check_help_text(write, WRITE)
    point = run.centre(START)
    seen = rig.watch(4 * HOVER_PERIOD, lambda: rig.xdotool("mousemove", *point))
    arrived = became(seen, lambda state: state["cursor"] == list(point), "cursor on the Start box")
    closed = became(seen, lambda state: write not in state["balloons"], "close of the Write button's balloon")
    opened = became(seen, lambda state: state["balloons"] and write not in state["balloons"], "new balloon")
    # The first tick over the Start box closes the old balloon, and only the
    # next one opens the new balloon.
    check(closed["balloons"] == [], "with the close came %r" % closed["balloons"])
    check(closed["t"] > arrived["since"], "the Write button's balloon closed before the cursor left")
    check(closed["since"] - arrived["t"] <= HOVER_PERIOD + 200, "the Write button's balloon closed %d ms after "
          "the cursor came" % (closed["since"] - arrived["t"]))
    longest, shortest = opened["t"] - closed["since"], opened["since"] - closed["t"]
    check(HOVER_PERIOD // 2 <= longest and shortest <= HOVER_PERIOD * 3 // 2,
          "the new balloon opened %d to %d ms after the close" % (shortest, longest))
    check(len(opened["balloons"]) == 1, "balloons %r" % opened["balloons"])
    check_help_text(opened["balloons"][0], START)
    check_anchor(opened["balloons"][0], point, run.info()["screen"])
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def no_hover_help_over_the_frequency_slider(rig):
    run = hover_run(rig, "hover-slider")
    point = run.centre(FREQUENCY)
    seen = rig.watch(5 * HOVER_PERIOD, lambda: rig.xdotool("mousemove", *point))
    arrived = became(seen, lambda state: state["cursor"] == list(point), "cursor on the frequency slider")
    check(seen["end"] - arrived["t"] >= 4 * HOVER_PERIOD, "only %d ms watched" % (seen["end"] - arrived["t"]))
    check(not any(state["balloons"] for state in seen["changes"]), "a balloon opened: %r" % seen["changes"])
    # The amplitude slider of channel 1 has help: the ticks do run.
    rig.xdotool("mousemove", *run.centre(AMPLITUDE1))
    check_help_text(wait_for_balloon(rig, "the amplitude slider's balloon"), AMPLITUDE1)
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")


@case
def no_hover_help_when_its_delay_is_zero(rig):
    run = Run(rig, "nohover", sav=saved_state(1000, 100, 100, 0, 0)).start_panel()
    x, y = run.centre(WRITE)
    run.rig.xdotool("mousemove", x, y)
    time.sleep(1.5)
    balloon = run.rig.poke("balloon", check_rc=False)
    run.key("Escape")
    check(run.wait_exit() == 0, "exit code")
    check("rect" not in balloon, "a balloon opened: %r" % balloon)


# --- qorvelcfg's driver check ------------------------------------------------

DRIVER_CHECK_KEY = "HKLM\\SOFTWARE\\Brackwell\\Drivers\\1.0\\DriverCheck"
# A DLL of each architecture without StaticFactory: the MinGW-w64 thread
# library that comes with the cross compilers.
MINGW_DLL = {64: "/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll",
             32: "/usr/i686-w64-mingw32/lib/libwinpthread-1.dll"}


def wine_tool(*args):
    return subprocess.run([WINE] + list(args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)


def windows_path(path):
    return wine_tool("winepath", "-w", path).stdout.decode().strip()


def set_driver_check_key(views):
    """The DriverCheck key in each registry view: absent, or with the given
    values (name, type, data)."""
    for view in (32, 64):
        wine_tool("reg", "delete", DRIVER_CHECK_KEY, "/f", "/reg:%d" % view)
        for name, kind, data in views.get(view, ()):
            result = wine_tool("reg", "add", DRIVER_CHECK_KEY, "/v", name, "/t", kind, "/d", data, "/f",
                               "/reg:%d" % view)
            check(result.returncode == 0, "reg add %s %s in the %d-bit view failed" % (name, data, view))


@case
def qorvelcfg_checks_the_driver_as_the_program_finds_it(rig):
    """Each verdict of qorvelcfg show, and what the program then does with
    the same configuration: it ends at once with -2, or it opens the panel."""
    qorvelcfg = os.path.join(rig.build, "tools", "qorvelcfg.exe")
    bits = 64 if rig.request_size == 40 else 32
    other = 96 - bits
    own_board = os.path.join(rig.build, "board", "VirtualBoard.dll")
    # The right DLL in a folder named in Cyrillic: the path must read and
    # print whole.
    folder = os.path.join(rig.work, "Драйверы платы")
    os.makedirs(folder, exist_ok=True)
    shutil.copy(own_board, folder)
    board = windows_path(os.path.join(folder, "VirtualBoard.dll"))
    foreign = windows_path(rig.other_board or MINGW_DLL[other])

    def path(data, kind="REG_SZ"):
        return [("path", kind, data)]

    rows = [
        ("no key", {}, "no key", "/s /reg:%d lists them" % bits, False),
        ("key without path", {bits: [("other", "REG_SZ", board)]}, "the key has no value path",
         "REG_SZ, the full path", False),
        ("REG_EXPAND_SZ path", {bits: path(board, "REG_EXPAND_SZ")}, "path is REG_EXPAND_SZ, not REG_SZ",
         "REG_SZ, the full path", False),
        ("missing file", {bits: path("C:\\no\\such\\board.dll")}, "the file that path names does not exist",
         "reinstall the board's driver", False),
        ("other architecture", {bits: path(foreign)},
         "a %d-bit program cannot load a %d-bit DLL" % (bits, other),
         "this is a %d-bit driver: use QorvelGen.exe of the win%d zip" % (other, other), False),
        ("no StaticFactory", {bits: path(windows_path(MINGW_DLL[bits]))}, "does not export StaticFactory",
         "does not name the board's driver", False),
        ("right DLL", {bits: path(board), other: path(board)}, "usable: QorvelGen.exe would load \"%s\"" % board,
         "nothing for the driver", True),
        # As the loader takes them: ".dll" added to a name without one; a bare
        # name found in the folder the program starts in.
        ("path without .dll", {bits: path(board[:-4])}, "usable: QorvelGen.exe would load \"%s\"" % board,
         "nothing for the driver", True),
        ("bare name in the start folder", {bits: path("VirtualBoard.dll")},
         "usable: QorvelGen.exe would load \"", "nothing for the driver", True, own_board),
    ]
    if rig.other_board:
        rows.append(("other architecture, right in the other view", {bits: path(foreign), other: path(foreign)},
                     "a %d-bit program cannot load a %d-bit DLL" % (bits, other),
                     "use QorvelGen.exe of the win%d zip: the %d-bit view holds a driver that it loads"
                     % (other, other), False))
    try:
        for number, (what, views, verdict, what_to_do, usable, *beside) in enumerate(rows, 1):
            set_driver_check_key(views)
            run = Run(rig, "driver-check-%d" % number, cfg="DeviceName = \"DriverCheck\"\r\nHelpPreDelay = 0\r\n")
            for dll in beside:
                shutil.copy(dll, run.dir)
                verdict += windows_path(os.path.join(run.dir, os.path.basename(dll))) + "\""
            shown = subprocess.run([WINE, qorvelcfg, "show"], cwd=run.dir, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, timeout=60)
            text = shown.stdout.decode("utf-8")
            # One writer: UTF-8 with LF line ends throughout.
            check("\r" not in text, "%s: CR in qorvelcfg's output %r" % (what, text))
            lines = text.split("\n")
            check(shown.returncode == 0, "%s: qorvelcfg show exit %d" % (what, shown.returncode))
            driver = [line for line in lines if line.startswith("driver: ")]
            check(driver == ["driver: what the %d-bit QorvelGen.exe beside this tool would find" % bits],
                  "%s: %r" % (what, text))
            found = {prefix: next((line for line in lines if line.startswith(prefix)), "")
                     for prefix in ("  verdict: ", "  what to do: ")}
            check(verdict in found["  verdict: "], "%s: %r" % (what, found["  verdict: "]))
            check(what_to_do in found["  what to do: "], "%s: %r" % (what, found["  what to do: "]))
            # Each view is read apart: what one holds never shows in the other.
            for view in (bits, other):
                head = "  %d-bit view, read by QorvelGen.exe of the win%d zip: key " % (view, view)
                state = "present" if view in views else "missing"
                check(head + state in lines, "%s: the %d-bit view is not shown with its key %s: %r"
                      % (what, view, state, text))
            if usable:
                run.start_panel()
                check(run.log()[0]["op"] == "Create", "%s: the board's first call %r" % (what, run.log()[0]))
                run.stop()
                check(other not in views or ("    result for a %d-bit QorvelGen.exe: not usable: a %d-bit program cannot load a "
                       "%d-bit DLL" % (other, other, bits)) in lines, "%s: the other view %r" % (what, text))
            else:
                check(run.start().wait_exit(15) == NO_PANEL_EXIT, "%s: the program's exit code" % what)
                check(run.log() == [], "%s: the program reached the board" % what)
            print("     %s: %s" % (what, found["  verdict: "].strip()))
    finally:
        set_driver_check_key({})


# --- qorvelctl: the board from a command line --------------------------------

CTL_ATTACH_FAILED = 254  # -2, as the shell sees it
SCOPE_CHANNEL = re.compile(r"  DAC(\d): amplitude code (-?\d+), peak (\S+) V, frequency (\S+) Hz")


# What --json says of a sine from phase 0 without an offset, beside its
# amplitude, periods and frequency.
SINE_JSON = {"shape": "sine", "offset": 0, "offsetVolts": 0.0, "phase": 0.0, "duty": None}


def play_requests(rate):
    """What play and load send: the panel's Write with the Start box clear,
    then ticking the Start box."""
    return [("rate", rate), ("stop",), ("stop",), ("write",), ("rate", rate), ("stop",), ("run", rate)]


def ctl_ok(run, *args, cwd=None):
    """qorvelctl's standard output after a run that must succeed."""
    rc, out, err = run.ctl(*args, cwd=cwd)
    check(rc == 0, "qorvelctl %s: exit %d, %r" % (" ".join(map(str, args)), rc, err))
    return out


def scope_summary(rig, run):
    """boardscope's summary of this run's board log, as it prints it."""
    check(os.path.exists(rig.boardscope), "no boardscope at %s (the host build)" % rig.boardscope)
    result = subprocess.run([rig.boardscope, run.log_path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=60)
    text = result.stdout.decode()
    check(result.returncode == 0, "boardscope: exit %d, %s" % (result.returncode, text))
    print("     boardscope %s:\n       %s" % (run.log_path, text.strip().replace("\n", "\n       ")))
    return text


def scope(rig, run):
    """boardscope's summary of this run's board log: per run, each DAC's
    (code, peak volts, frequency)."""
    text = scope_summary(rig, run)
    channels = [(int(c), int(code), float(volts), float(hz)) for c, code, volts, hz in SCOPE_CHANNEL.findall(text)]
    return [{c: (code, volts, hz) for c, code, volts, hz in channels[i:i + 2]} for i in range(0, len(channels), 2)]


@case
def ctl_status_attaches_as_the_panel_and_sends_nothing(rig):
    run = Run(rig, "ctl-status", sav=saved_state(2000, 1, 2, 3, 4))
    out = ctl_ok(run, "status")
    check(out.splitlines() == ["device  QorvelE, number 1", "serial  100417",
                               "ranges  ADC range 10 V, DAC range 10 V", "present yes"], "status printed %r" % out)
    result = json.loads(ctl_ok(run, "--json", "status"))
    check(result == {"command": "status", "result": "done", "exit": 0,
                     "device": {"name": "QorvelE", "number": 1, "serial": 100417, "adcRange": 10.0,
                                "dacRange": 10.0, "present": True}}, "status --json %r" % result)
    attach = [("Create", None), ("GetInfo", 17), ("Open", None), ("GetInfo", 21), ("GetInfo", 200), ("GetInfo", 53),
              ("GetInfo", PRESENCE_ITEM), ("Release", None)]
    ops = [(e["op"], e.get("item")) for e in run.log()]
    check(ops == attach * 2, "the board was asked %r" % ops)
    check(run.read_file("QorvelGen.sav") == saved_state(2000, 1, 2, 3, 4), "QorvelGen.sav changed")
    # A board that no longer answers the presence item; ranges from the file.
    gone = Run(rig, "ctl-status-gone", cfg=QUIET_CFG + "ADCRange = 5\r\nDACRange = 2.5\r\n",
               env={"VBOARD_GONE_AFTER": "0"})
    result = json.loads(ctl_ok(gone, "status", "--json"))
    check(result["device"]["present"] is False and result["device"]["adcRange"] == 5.0 and
          result["device"]["dacRange"] == 2.5, "status --json %r" % result)


@case
def ctl_play_writes_the_panels_block_and_plays_it(rig):
    # The panel's block for 2 periods of 24576 and 5 of 12288 at 20000 Hz...
    panel = Run(rig, "ctl-play-panel", sav=saved_state(20000, 24576, 12288, 1, 4)).start_panel()
    panel.set_mark()
    panel.click(WRITE)
    panel.expect([("rate", 20000.0), ("stop",), ("stop",), ("write",)])
    panel_block = written_blocks(panel.new_entries())[0]
    panel.key("Escape")
    check(panel.wait_exit() == 0, "the panel's exit code")

    # ...is what qorvelctl writes for them, from no saved state at all.
    run = Run(rig, "ctl-play")
    out = ctl_ok(run, "play", "--rate", 20000, "--amp1", 24576, "--periods1", 2, "--amp2", 12288, "--periods2", 5)
    check(run.requests() == play_requests(20000.0), "requests %r" % run.requests())
    blocks = written_blocks(run.log())
    check(blocks == [panel_block], "the block differs from the panel's")
    check(out.splitlines() == ["rate    20.00KHz", "DAC1     7.50v [24576]  40.00Hz  (2 periods)",
                               "DAC2     3.75v [12288] 100.00Hz  (5 periods)"], "play printed %r" % out)
    played = scope(rig, run)
    check(played == [{1: (24576, 7.5, 40.0), 2: (12288, 3.75, 100.0)}], "boardscope measured %r" % played)
    check(run.read_file("QorvelGen.sav") is None, "QorvelGen.sav written without --save")

    # Volts instead of a code; what is not given comes from the saved state.
    sav = saved_state(1000, 100, 200, 2, 3)
    run = Run(rig, "ctl-play-volts", sav=sav)
    result = json.loads(ctl_ok(run, "play", "--volts1", "2.5", "--json"))
    check(result == {"command": "play", "result": "done", "exit": 0, "rateRequested": 1000, "rate": 1000.0,
                     "device": {"name": "QorvelE", "number": 1, "serial": 100417, "adcRange": 10.0, "dacRange": 10.0},
                     "channels": [dict(SINE_JSON, amplitude=8192, volts=2.5, peakToPeak=5.0, periods=3, frequency=3.0),
                                  dict(SINE_JSON, amplitude=200, volts=200 * 10 / 32768, peakToPeak=400 * 10 / 32768,
                                       periods=4, frequency=4.0)]},
          "play --json %r" % result)
    check_block([e for e in run.log() if request(e) == ("write",)][0], 8192, 3, 200, 4)
    played = scope(rig, run)
    check(played == [{1: (8192, 2.5, 3.0), 2: (200, 0.061, 4.0)}], "boardscope measured %r" % played)
    check(run.read_file("QorvelGen.sav") == sav, "QorvelGen.sav changed")


@case
def ctl_rate_with_and_without_run_and_stop(rig):
    run = Run(rig, "ctl-rate", env={"VBOARD_RATE": "4999.5"})
    check(ctl_ok(run, "rate", 5000) == "rate    5.00KHz\nstopped\n", "rate printed")
    check(run.requests() == [("rate", 5000.0), ("stop",)], "rate: requests %r" % run.requests())
    run.set_mark()
    result = json.loads(ctl_ok(run, "rate", 5000, "--run", "--json"))
    check(result["rateRequested"] == 5000 and result["rate"] == 4999.5 and result["run"] is True,
          "rate --run --json %r" % result)
    # The board's own rate is the one that runs.
    check(run.new_requests() == [("rate", 5000.0), ("stop",), ("run", 4999.5)], "rate --run: %r" % run.new_requests())
    run.set_mark()
    # The board reads back its own rate, 4999.5 Hz, for the 1000 Hz of the start values.
    check(ctl_ok(run, "stop") == "rate    5.00KHz\nstopped\n", "stop printed")
    check(run.new_requests() == [("rate", 1000.0), ("stop",)], "stop: %r" % run.new_requests())
    check_stop_request(setups(run.new_entries())[1])


@case
def ctl_commands_send_what_the_panel_sends_for_their_action(rig):
    """Each command against the panel action that the guides name for it, on
    the same saved state: the same requests, value for value."""
    sav = saved_state(2500, 1000, 2000, 1, 2)

    def write_then_start(panel):
        panel.click(WRITE)
        panel.expect([("rate", 2500.0), ("stop",), ("stop",), ("write",)])
        panel.activate()
        panel.key("F2")

    def slider(panel, start):
        if start:
            panel.activate()
            panel.key("F2")
            panel.expect([("rate", 2500.0), ("stop",), ("run", 2500.0)])
            panel.set_mark()
        rig.poke("slider", FREQUENCY, 4000)

    def start_then_clear(panel):
        panel.activate()
        panel.key("F2")
        panel.expect([("rate", 2500.0), ("stop",), ("run", 2500.0)])
        panel.set_mark()
        panel.key("F2")

    def button(panel, control, start):
        if start:
            panel.activate()
            panel.key("F2")
            panel.expect([("rate", 2500.0), ("stop",), ("run", 2500.0)])
            panel.set_mark()
        panel.click(control)

    rows = (
        ("play", write_then_start, ("play",), 7),
        ("rate", lambda p: slider(p, False), ("rate", 4000), 2),
        ("rate --run", lambda p: slider(p, True), ("rate", 4000, "--run"), 3),
        ("stop", start_then_clear, ("stop",), 2),
        ("autostart on", lambda p: button(p, AUTOSTART_ON, False), ("autostart", "on"), 3),
        ("autostart on --run", lambda p: button(p, AUTOSTART_ON, True), ("autostart", "on", "--run"), 4),
        ("autostart off", lambda p: button(p, AUTOSTART_OFF, False), ("autostart", "off"), 3),
    )
    for number, (what, action, args, count) in enumerate(rows):
        panel = Run(rig, "ctl-as-panel-%d" % number, sav=sav).start_panel()
        # The first paint's rate request comes after the panel shows.
        wait_until(lambda: len(panel.requests()) >= 3, 5, "%s: the panel's first paint" % what)
        time.sleep(0.3)
        panel.set_mark()
        action(panel)
        wait_until(lambda: len(panel.new_requests()) >= count, 6, "%s: the panel's requests" % what)
        time.sleep(0.3)
        theirs = [setup_fields(e) for e in setups(panel.new_entries())]
        panel.key("Escape")
        check(panel.wait_exit() == 0, "%s: the panel's exit code" % what)
        run = Run(rig, "ctl-as-command-%d" % number, sav=sav)
        ctl_ok(run, *args)
        ours = [setup_fields(e) for e in setups(run.log())]
        check(ours == theirs, "%s: qorvelctl sent %r, the panel %r" % (what, ours, theirs))


def setup_fields(entry):
    """A request as the board took it, all but its time."""
    return {k: v for k, v in entry.items() if k != "t"}


@case
def ctl_autostart_sends_the_panels_requests(rig):
    run = Run(rig, "ctl-autostart", sav=saved_state(2500, 100, 100, 0, 0))
    ctl_ok(run, "autostart", "on")
    run.set_mark()
    ctl_ok(run, "autostart", "off", "--rate", 3000)
    check(run.requests() == [("rate", 2500.0), ("stop",), ("autostart-on", 2500.0), ("rate", 3000.0), ("stop",),
                             ("autostart-off",)], "requests %r" % run.requests())
    entries = run.log()
    on = [e for e in entries if request(e) == ("autostart-on", 2500.0)][0]
    off = [e for e in entries if request(e) == ("autostart-off",)][0]
    check((on["address"], on["flag"], on["count"]) == (4096, 1, 2000), "auto-start-on request %r" % on)
    check((off["address"], off["flag"], off["count"], off["frequency"]) == (0, 1, 0, 0.0),
          "auto-start-off request %r" % off)
    for switch in (on, off):
        after = entries[entries.index(switch) + 1]
        check(after["op"] == "Release" and after["t"] - switch["t"] >= 995, "%d ms after %r"
              % (after["t"] - switch["t"], request(switch)))
    check(run.read_file("QorvelGen.sav") == saved_state(2500, 100, 100, 0, 0), "QorvelGen.sav changed")


@case
def ctl_attach_failures_say_the_panels_message(rig):
    sav = saved_state(777, 1, 2, 3, 4)
    key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brackwell\\Drivers\\1.0\\"
    # A board already opened by QorvelGen answers Open with 0: one user at a time.
    for name, cfg, env, text in (
            ("ctl-notopen", QUIET_CFG, {"VBOARD_OPEN": "0"}, MSG_NOT_CONNECTED),
            ("ctl-unsuitable", QUIET_CFG, {"VBOARD_INFO17": "0"}, MSG_PROPERTIES),
            ("ctl-record", QUIET_CFG, {"VBOARD_INFO21": "bad"}, MSG_PROPERTIES),
            ("ctl-nocreate", QUIET_CFG, {"VBOARD_CREATE": "fail"}, key + "QorvelE"),
            ("ctl-nodriver", "DeviceName = \"NoSuchBoard\"\r\n", {}, key + "NoSuchBoard")):
        run = Run(rig, name, cfg=cfg, sav=sav, env=env)
        for args in (("play", "--amp1", 5), ("status", "--json")):
            rc, out, err = run.ctl(*args)
            check(rc == CTL_ATTACH_FAILED, "%s %s: exit %d" % (name, args[0], rc))
            check(text in err, "%s %s: standard error %r" % (name, args[0], err))
        result = json.loads(out)
        check(result["exit"] == -2 and result["result"] == "attach failed" and text in result["message"],
              "%s: --json %r" % (name, result))
        check([e for e in run.log() if e["op"] == "Setup"] == [], "%s: requests %r" % (name, run.requests()))
        check(run.read_file("QorvelGen.sav") == sav, "%s: QorvelGen.sav changed" % name)
    # In a console the Russian reads right whatever the code pages: here
    # those of a Western system (1252).
    run = Run(rig, "ctl-notopen-terminal", env={"VBOARD_OPEN": "0"})
    rc, shown = run.ctl_on_a_terminal("status", lang="en_US.UTF-8")
    check(rc == CTL_ATTACH_FAILED and MSG_NOT_CONNECTED in shown, "on a terminal: exit %d, %r" % (rc, shown))


@case
def ctl_bad_arguments_send_nothing(rig):
    sav = saved_state(777, 1, 2, 3, 4)
    run = Run(rig, "ctl-bad", sav=sav)
    for args, named in (([], "a command is needed"), (["frobnicate"], "frobnicate"),
                        (["play", "--rate", "0"], "--rate"), (["play", "--rate", "50001"], "--rate"),
                        (["play", "--rate", "1.5"], "--rate"), (["play", "--amp2", "32768"], "--amp2"),
                        (["play", "--amp1", "-1"], "--amp1"), (["play", "--periods1", "0"], "--periods1"),
                        (["play", "--periods2", "500"], "--periods2"), (["preview", "--svg", "x.svg", "--units", "codes"], "--units and --channel go with a FILE"),
                        (["play", "--shape1", "sine", "--duty1", "20"], "--duty1 goes with --shape1 square"),
                        (["play", "--exact"], "--exact goes with --freq1"), (["play", "--freq1", "0"], "--freq1"),
                        (["play", "--phase2", "361"], "--phase2"), (["load"], "FILE"),
                        (["play", "--amp1", "5", "--volts1", "1"], "--volts1"),
                        (["play", "--volts1", "10"], "--volts1: 10 V is outside 0 to 9.9997 V"),
                        (["play", "--volts2", "-1"], "--volts2"), (["rate"], "HZ"), (["rate", "fast"], "HZ"),
                        (["rate", "50001", "--run"], "HZ"), (["autostart", "maybe"], "MODE"),
                        (["stop", "--save"], "--save"), (["play", "--dir", "no such folder"], "--dir")):
        rc, out, err = run.ctl(*args)
        check(rc == 2, "%s: exit %d, %r" % (args, rc, err))
        check(named in err, "%s: standard error %r does not name %r" % (args, err, named))
    rc, out, err = run.ctl("--json", "play", "--periods1", "500")
    result = json.loads(out)
    check(rc == 2 and result["exit"] == 2 and "--periods1" in result["message"], "--json %r" % result)
    check([e for e in run.log() if e["op"] == "Setup"] == [], "requests %r" % run.requests())
    check(run.read_file("QorvelGen.sav") == sav, "QorvelGen.sav changed")
    out = ctl_ok(run, "--help")
    for documented in ("status", "play", "load", "preview", "rate", "stop", "autostart", "--dir", "--json", "--save",
                       "Exit codes",
                       "  2 ", "  -2 ", "  3 "):
        check(documented in out, "--help does not mention %r" % documented)


@case
def ctl_save_then_the_panel_opens_with_it(rig):
    run = Run(rig, "ctl-save", sav=saved_state(1000, 0, 0, 0, 0))
    # From another folder, with --dir.
    ctl_ok(run, "play", "--dir", run.dir, "--rate", 3000, "--amp1", 1000, "--periods1", 3, "--amp2", 2000,
           "--periods2", 7, "--save", cwd=rig.work)
    check(run.read_file("QorvelGen.sav") == saved_state(3000, 1000, 2000, 2, 6),
          "QorvelGen.sav is %r" % run.read_file("QorvelGen.sav"))
    check(sorted(os.listdir(run.dir)) == ["QorvelGen.cfg", "QorvelGen.sav", "board.log"], "files %r"
          % os.listdir(run.dir))
    run.set_mark()
    run.start_panel()
    check_rate_request(setups(run.new_entries())[0], 3000.0)
    info = run.info()
    check(info["sliders"] == {"1013": [1000, 0, 32767], "1018": [2000, 0, 32767], "1023": [3000, 0, 50000]},
          "sliders %r" % info["sliders"])
    check(info["combos"]["1012"]["selection"] == 2 and info["combos"]["1017"]["selection"] == 6,
          "period lists %r" % info["combos"])
    run.key("Escape")
    check(run.wait_exit() == 0, "the panel's exit code")


@case
def ctl_dir_of_any_name_and_the_save_goes_back_there(rig):
    """--dir names a folder in Cyrillic and Greek (which no single code page
    spells); the driver moves the current directory, and --save still lands
    in that folder."""
    elsewhere = os.path.join(rig.work, "ctl-dir-elsewhere")
    shutil.rmtree(elsewhere, ignore_errors=True)
    os.makedirs(elsewhere)
    log = os.path.join(rig.work, "ctl-dir.log")
    if os.path.exists(log):
        os.remove(log)
    run = Run(rig, "ctl-dir Измерения Ωμέγα", sav=saved_state(1000, 1, 2, 0, 0), env={"VBOARD_CHDIR": elsewhere},
              log_path=log)
    out = ctl_ok(run, "--dir", run.dir, "play", "--amp1", 1234, "--periods2", 4, "--save", cwd=rig.work)
    check("saved" in out, "printed %r" % out)
    check(run.read_file("QorvelGen.sav") == saved_state(1000, 1234, 2, 0, 3),
          "QorvelGen.sav is %r" % run.read_file("QorvelGen.sav"))
    check(os.listdir(elsewhere) == [], "files in the driver's directory: %r" % os.listdir(elsewhere))


@case
def ctl_driver_faults_are_caught(rig):
    for what, args, expected in (
            ("write:access", ("play",), [("rate", 1000.0), ("stop",), ("stop",), ("write",)]),
            ("run:cxx", ("play",), play_requests(1000.0)),
            ("run:divide", ("rate", 1000, "--run"), [("rate", 1000.0), ("stop",), ("run", 1000.0)]),
            # A driver that faults again on its way out: the release is guarded too.
            ("write:access,release:access", ("play",), [("rate", 1000.0), ("stop",), ("stop",), ("write",)])):
        run = Run(rig, "ctl-fault-" + re.sub("[:,]", "-", what), sav=saved_state(1000, 100, 100, 0, 0),
                  env={"VBOARD_FAULT": what})
        rc, out, err = run.ctl(*args)
        check(rc == 3, "%s: exit %d, %r" % (what, rc, err))
        check("the driver faulted inside the %s request" % what.split(":")[0] in err, "%s: %r" % (what, err))
        check(run.requests() == expected, "%s: requests %r" % (what, run.requests()))
        check(run.log()[-1]["op"] == "Release", "%s: the device was not released" % what)
        check(run.crash_debuggers() == [], "%s: the crash debugger started" % what)


def requests_between_attach_and_release(entries):
    """The requests of a log, and the presence polls, without the attach
    (Create, Open and its information items) and the release."""
    attach_items = (17, 21, 200, 53)
    return [setup_fields(e) for e in entries
            if e["op"] == "Setup" or (e["op"] == "GetInfo" and e["item"] not in attach_items)]


@case
def ctl_session_sends_what_one_process_a_command_sends(rig):
    """A session's commands reach the board as the same commands run one
    process each, but for a single attach and a single release."""
    sav = saved_state(2500, 1000, 2000, 1, 2)
    commands = ["play --rate 2500 --shape1 square --periods1 5 --amp1 20000 --amp2 3000 --periods2 3",
                "rate 2500 --run", "stop", "status", "load wave.csv --rate 2500 --units codes",
                "autostart off",
                "play --rate 2500 --shape1 sine --amp1 1000 --periods1 2 --amp2 3000 --periods2 3 --phase2 90"]
    wave = "".join("%d,%d\r\n" % (i * 100, -i * 100) for i in range(100)).encode()
    session = Run(rig, "ctl-session", sav=sav)
    session.write_file("wave.csv", wave)
    rc, answers = session.session(commands + ["quit"])
    check(rc == 0, "session exit %d" % rc)
    check([a["exit"] for a in answers] == [0] * (len(commands) + 1) and answers[0]["result"] == "attached",
          "answers %r" % answers)
    separate = []
    for number, command in enumerate(commands):
        run = Run(rig, "ctl-session-one-%d" % number, sav=sav)
        run.write_file("wave.csv", wave)
        ctl_ok(run, *command.split())
        separate += requests_between_attach_and_release(run.log())
    ops = [e["op"] for e in session.log()]
    check(ops.count("Create") == 1 and ops.count("Release") == 1 and ops[-1] == "Release", "session calls %r" % ops)
    ours = requests_between_attach_and_release(session.log())
    check(ours == separate, "the session's %d requests differ from the %d of one process a command"
          % (len(ours), len(separate)))
    check(session.read_file("QorvelGen.sav") == sav, "QorvelGen.sav changed")


@case
def ctl_session_answers_bad_lines_and_faults_and_ends_as_it_should(rig):
    # A bad line, a refused value and a missing file are answered; the
    # session goes on. The end of input releases the board.
    run = Run(rig, "ctl-session-bad", sav=saved_state(1000, 100, 100, 0, 0))
    rc, answers = run.session(["bogus", "play --amp1 99999", "load nofile.csv", "# a comment", "",
                               "play --amp1 200", "play \"open"])
    check(rc == 0, "exit %d" % rc)
    check([a["exit"] for a in answers] == [0, 2, 2, 2, 0, 2], "answers %r" % answers)
    check("nofile.csv" in answers[3]["message"] and "--amp1" in answers[2]["message"], "messages %r" % answers)
    check(run.requests() == play_requests(1000.0) and run.log()[-1]["op"] == "Release", "requests %r"
          % run.requests())
    # A fault in a request: answered with 3; the board still answers, so the
    # session goes on until quit. Where it no longer answers, the session
    # ends there, releasing the board.
    for what, env, after in (("answers", {}, [0]), ("gone", {"VBOARD_GONE_AFTER": "0"}, [])):
        run = Run(rig, "ctl-session-fault-" + what, sav=saved_state(1000, 100, 100, 0, 0),
                  env=dict(env, VBOARD_FAULT="write:access"))
        rc, answers = run.session(["play", "status", "quit"])
        check([a["exit"] for a in answers] == [0, 3] + after, "%s: answers %r" % (what, answers))
        check(rc == (0 if after else 3), "%s: exit %d" % (what, rc))
        ops = [e["op"] for e in run.log()]
        check(ops.count("Release") == 1 and ops[-1] == "Release", "%s: calls %r" % (what, ops))
        check(run.crash_debuggers() == [], "%s: the crash debugger started" % what)


def sweep_steps(answers):
    return [a for a in answers if "step" in a and "exit" not in a]


@case
def ctl_sweeps_step_the_rate_linearly_and_on_a_log_scale(rig):
    dwell = 30
    run = Run(rig, "ctl-sweep", sav=saved_state(1000, 1000, 1000, 19, 9))
    rc, answers = run.session([
        "sweep --from 100 --to 1000 --steps 4 --dwell %d" % dwell,
        "play --rate 1000 --periods1 200 --periods2 100",
        "sweep --from 100 --to 10000 --steps 3 --log --dwell %d --down" % dwell,
        "sweep --from 50 --to 500 --step 150 --dwell %d --channel 2 --repeat 2" % dwell,
        "sweep --from 100 --to 20000 --steps 3 --dwell %d" % dwell])
    check(rc == 0, "exit %d" % rc)
    check([a["exit"] for a in answers if "exit" in a] == [0, 0, 0, 0, 0, 2], "answers %r" % answers)
    check("step 2, 10050 Hz" in answers[-1]["message"], "the unreachable step: %r" % answers[-1])
    steps = sweep_steps(answers)
    # (DAC1's frequency, DAC2's) of each step: 20 and 10 periods first, then
    # 200 and 100.
    want = [(100, 50), (400, 200), (700, 350), (1000, 500),
            (10000, 5000), (1000, 500), (100, 50)] + [(100, 50), (400, 200), (700, 350), (1000, 500)] * 2
    check(len(steps) == len(want), "%d steps: %r" % (len(steps), steps))
    rates = []
    for step, (f1, f2) in zip(steps, want):
        check(abs(step["frequencies"][0] - f1) < 1e-6 * f1 and abs(step["frequencies"][1] - f2) < 1e-6 * f2,
              "step %r, not %r" % (step, (f1, f2)))
        rates.append(step["rate"])
    # Each step is the panel's rate change while playing; the block stays.
    def stepped(rates):
        return [request for rate in rates for request in (("rate", rate), ("stop",), ("run", rate))]
    check(run.requests() == stepped(rates[:4]) + play_requests(1000.0) + stepped(rates[4:]),
          "requests %r" % run.requests())
    # On the steady clock: every step at its time from its sweep's start.
    for first, last in ((0, 4), (4, 7), (7, 15)):
        times = [s["t"] for s in steps[first:last]]
        late = [t - times[0] - k * dwell for k, t in enumerate(times)]
        check(all(abs(x) < 15 for x in late), "steps off their schedule by %r ms" % late)
    # The last step keeps playing: no stop after it.
    check(run.requests()[-1][0] == "run", "after the sweeps: %r" % (run.requests()[-1],))
    # The end of the session's input ends a sweep at the step it is on, and
    # the board is released.
    run = Run(rig, "ctl-sweep-ended", sav=saved_state(1000, 1000, 1000, 19, 9))
    rc, answers = run.session(["sweep --from 100 --to 1000 --steps 50 --dwell 1000"])
    check(rc == 0 and answers[-1]["result"] == "interrupted" and answers[-1]["steps"] == 1,
          "an ended input: exit %d, %r" % (rc, answers[-1]))
    check([e["op"] for e in run.log()][-1] == "Release" and len(run.requests()) == 3, "an ended input: %r"
          % run.requests())


PYTHON_SESSION = r"""
import json, sys
sys.path.insert(0, sys.argv[1])
from qorvel import Generator, QorvelError
out = {}
with Generator(command=sys.argv[2:]) as gen:
    gen.play(shape1="sine", freq1=1000, volts1=2.5, shape2="sine", freq2=1000, volts2=2.5, phase2=90)
    dac2 = gen.channel(2)
    dac2.phase = 45
    dac2.amplitude = 1.0
    out["dac2"] = [dac2.shape, dac2.phase, dac2.amplitude, dac2.amplitude_vpp, dac2.frequency, dac2.duty]
    out["dac1"] = [gen.channel(1).phase, gen.channel(1).amplitude]
    out["steps"] = [[s.rate] + s.frequencies for s in gen.sweep(500, 1000, steps=3, dwell_ms=20)]
    try:
        gen.play(amp1=99999)
    except QorvelError as error:
        out["refused"] = [error.exit_code, error.message]
import os
os.environ["VBOARD_OPEN"] = "0"  # the board answers Open with 0, as one in use does
try:
    Generator(command=sys.argv[2:])
except QorvelError as error:
    out["attach"] = [error.exit_code, error.message]
print(json.dumps(out))
"""


@case
def ctl_python_package_drives_a_session(rig):
    """The qorvel package over a session, as a test bench script uses it:
    channel properties set and read back, a sweep, a refusal and an attach
    failure raised with what qorvelctl said."""
    run = Run(rig, "ctl-python", sav=saved_state(1000, 100, 100, 0, 0))
    result = subprocess.run([sys.executable, "-c", PYTHON_SESSION, os.path.join(ROOT, "python"), WINE, rig.ctl_exe],
                            cwd=run.dir, env=run.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    check(result.returncode == 0, "python: exit %d, %s" % (result.returncode, result.stderr.decode()[-800:]))
    out = json.loads(result.stdout)
    volt = 3277 * 10 / 32768  # the code nearest 1 V
    check(out["dac2"] == ["sine", 45.0, volt, 2 * volt, 1000.0, None], "DAC2 read back %r" % out["dac2"])
    check(out["dac1"] == [0.0, 8192 * 10 / 32768], "DAC1 kept %r" % out["dac1"])
    check(out["steps"] == [[25000.0, 500.0, 500.0], [37500.0, 750.0, 750.0], [50000.0, 1000.0, 1000.0]],
          "sweep %r" % out["steps"])
    check(out["refused"][0] == 2 and "--amp1" in out["refused"][1], "refusal %r" % out["refused"])
    check(out["attach"] == [-2, MSG_NOT_CONNECTED], "attach failure %r" % out["attach"])
    block = written_blocks(run.log())[-1]
    check(channel(block, 1)[0] == half_away(3277 * math.sin(math.pi / 4)), "DAC2's first sample %d"
          % channel(block, 1)[0])


def half_away(x):
    return int(x + 0.5) if x >= 0 else -int(-x + 0.5)


def phasor_sine(amplitude, periods, phase=0.0):
    """A channel by the panel's recurrence, started at the phase: the sine
    qorvelctl must write value for value."""
    theta = periods * 0.006283185307179587
    step_c, step_s = math.cos(theta), math.sin(theta)
    radians = phase * (math.pi / 180.0)
    c, s = (math.cos(radians), math.sin(radians)) if phase else (1.0, 0.0)
    samples = []
    for _ in range(1000):
        samples.append(half_away(amplitude * s))
        c, s = c * step_c - s * step_s, c * step_s + s * step_c
    return samples


def shape_samples(shape, amplitude, periods, phase=0.0, offset=0, duty=50.0):
    """A channel from its shape's formula: x is where sample i falls in its
    period, from 0 to 1."""
    samples = []
    for i in range(1000):
        turns = (periods * i % 1000) / 1000 + phase / 360
        x = turns - math.floor(turns)
        f = {"sine": lambda: math.sin(2 * math.pi * x),
             "square": lambda: 1.0 if x < duty / 100 else -1.0,
             "triangle": lambda: 4 * x if x < 0.25 else 2 - 4 * x if x < 0.75 else 4 * x - 4,
             "ramp": lambda: 2 * x if x < 0.5 else 2 * x - 2,
             "dc": lambda: 0.0}[shape]()
        samples.append(half_away(amplitude * f) + offset)
    return samples


def the_write(run):
    writes = [e for e in run.log() if request(e) == ("write",)]
    check(len(writes) == 1, "%d writes" % len(writes))
    check(writes[0]["count"] == 2048 and writes[0]["buffer"][2000:] == [0] * 48, "the block's layout")
    return writes[0]["buffer"]


def svg_traces(path):
    """The samples a scope picture's two traces show, read back from its
    points: 0 V at y 280, full scale 200 pixels above."""
    with open(path) as f:
        text = f.read()
    traces = []
    for dac in ("dac1", "dac2"):
        points = re.search(r'id="%s"[^>]*points="([^"]*)"' % dac, text).group(1).split()
        traces.append([round((280 - float(p.split(",")[1])) * 32768 / 200) for p in points])
    return traces


@case
def ctl_shapes_phase_and_frequencies_play_as_asked(rig):
    # Each row: the arguments, the rate, each channel's expected samples
    # (exact, or from its formula within one code), what the text must say.
    rows = (
        (("--amp1", 32767, "--periods1", 13, "--amp2", 12345, "--periods2", 499), 1000,
         ("exact", phasor_sine(32767, 13)), ("exact", phasor_sine(12345, 499)), None),
        (("--rate", 20000, "--shape1", "square", "--duty1", 10, "--amp1", 20000, "--periods1", 20, "--shape2",
          "triangle", "--amp2", 30000, "--periods2", 7, "--phase2", 45, "--offset-code2", 1000), 20000,
         ("near", shape_samples("square", 20000, 20, duty=10)),
         ("near", shape_samples("triangle", 30000, 7, 45, 1000)), "(20 periods, square, duty 10 %)"),
        (("--shape1", "ramp", "--vpp1", 10, "--periods1", 3, "--phase1", -30, "--shape2", "dc", "--offset2", -2.5),
         1000, ("near", shape_samples("ramp", 16384, 3, -30)), ("near", [-8192] * 1000), "offset -2.50v [-8192]"),
        # A sine and a cosine at 1 kHz.
        (("--freq1", 1000, "--amp1", 16384, "--freq2", 1000, "--phase2", 90, "--amp2", 16384), 50000,
         ("exact", phasor_sine(16384, 20)), ("exact", phasor_sine(16384, 20, 90)), "(20 periods, phase 90\u00b0)"),
        (("--freq1", 440, "--amp1", 10000), 44000, ("exact", phasor_sine(10000, 10)), ("exact", [0] * 1000),
         "DAC1     3.05v [10000] 440.00Hz  (10 periods)"),
        # 440 Hz has no whole periods at 30 kHz: 15 periods play 450 Hz.
        (("--rate", 30000, "--freq1", 440, "--amp1", 10000), 30000, ("exact", phasor_sine(10000, 15)),
         ("exact", [0] * 1000), "note    DAC1: 440 Hz asked, 450 Hz plays (error +10 Hz, 2.2727 %)"),
    )
    for number, (args, rate, dac1, dac2, said) in enumerate(rows):
        run = Run(rig, "ctl-shapes-%d" % number)
        out = ctl_ok(run, "play", *args)
        what = " ".join(map(str, args))
        check(run.requests() == play_requests(float(rate)), "%s: requests %r" % (what, run.requests()))
        block = the_write(run)
        for index, (how, want) in enumerate((dac1, dac2)):
            got = channel(block, index)
            worst = max(abs(a - b) for a, b in zip(got, want))
            check(worst == 0 if how == "exact" else worst <= 1,
                  "%s: DAC%d is %d codes off its expected samples" % (what, index + 1, worst))
        if "square" in args:  # 10 % of each 50-sample period high
            high = [sum(1 for v in channel(block, 0)[p * 50:p * 50 + 50] if v > 0) for p in range(20)]
            check(high == [5] * 20, "%s: high samples a period %r" % (what, high))
        check(said is None or said in out, "%s: printed %r" % (what, out))
        if "--phase2" in args and "--freq2" in args:
            summary = scope_summary(rig, run)
            check("  DAC2 against DAC1: phase 90 degrees\n" in summary, "boardscope measured %r" % summary)
    # JSON of the inexact one, and --exact refusing it before anything is sent.
    run = Run(rig, "ctl-freq-exact")
    result = json.loads(ctl_ok(run, "--json", "play", "--rate", 30000, "--freq1", 440))
    dac1 = result["channels"][0]
    check((dac1["periods"], dac1["frequency"], dac1["frequencyAsked"], dac1["frequencyError"]) == (15, 450.0, 440.0, 10.0),
          "--json %r" % dac1)
    run.set_mark()
    rc, out, err = run.ctl("play", "--rate", 30000, "--freq1", 440, "--exact")
    check(rc == 2 and "the nearest is 450 Hz (15 periods at 30000 Hz)" in err, "--exact: exit %d, %r" % (rc, err))
    check(run.new_requests() == [], "--exact: requests %r" % run.new_requests())


@case
def ctl_files_and_the_preview_are_the_block_written(rig):
    run = Run(rig, "ctl-files")
    # A spreadsheet on a Russian system: semicolons, decimal commas, a header.
    volts = [(round(2.5 * math.sin(2 * math.pi * i / 250), 3), round(-5 + i / 25, 3)) for i in range(250)]
    run.write_file("sheet.csv", ("ЦАП1;ЦАП2\r\n" + "".join(
        ("%s;%s\r\n" % (a, b)).replace(".", ",") for a, b in volts)).encode("cp1251"))
    codes = [half_away(v * 32768 / 10) for pair in volts for v in pair]
    out = ctl_ok(run, "load", "sheet.csv", "--rate", 25000)
    check(run.requests() == play_requests(25000.0), "csv: requests %r" % run.requests())
    check(the_write(run)[:2000] == codes * 4, "the CSV's block differs from its values")
    check("100.00Hz  (4 cycles of the file" in out, "csv: printed %r" % out)

    # A stereo 16-bit WAV: its rate, its frames as they stand.
    frames = [(int(12000 * math.sin(2 * math.pi * i / 100)), i * 600 - 30000) for i in range(100)]
    with contextlib.closing(__import__("wave").open(os.path.join(run.dir, "tone.wav"), "wb")) as wav:
        wav.setnchannels(2)
        wav.setsampwidth(2)
        wav.setframerate(10000)
        wav.writeframes(b"".join(struct.pack("<hh", a, b) for a, b in frames))
    wav_run = Run(rig, "ctl-files-wav")
    shutil.copy(os.path.join(run.dir, "tone.wav"), wav_run.dir)
    ctl_ok(wav_run, "load", "tone.wav")
    check(wav_run.requests()[0] == ("rate", 10000.0), "wav: requests %r" % wav_run.requests())
    check(the_write(wav_run)[:2000] == [v for pair in frames for v in pair] * 10, "the WAV's block differs")

    # The preview of play is the block play writes; preview alone sends nothing.
    shapes = ("--freq1", 1000, "--amp1", 20000, "--shape2", "square", "--duty2", 25, "--amp2", 16000,
              "--freq2", 500, "--offset2", -1)
    preview_run = Run(rig, "ctl-preview")
    ctl_ok(preview_run, "play", *shapes, "--preview", "play.svg")
    block = the_write(preview_run)
    ctl_ok(preview_run, "preview", *shapes, "--svg", "alone.svg")
    check(len(setups(preview_run.log())) == len(play_requests(0)), "preview sent requests: %r"
          % preview_run.requests())
    for name in ("play.svg", "alone.svg"):
        traces = svg_traces(os.path.join(preview_run.dir, name))
        check(traces == [channel(block, 0), channel(block, 1)], "%s: its traces differ from the block" % name)


@case
def ctl_bad_files_and_clipping_send_nothing(rig):
    # With the range in the configuration, every refusal comes before the
    # board is attached: the board is never even created.
    run = Run(rig, "ctl-refusals", cfg=QUIET_CFG + "DACRange = 10\r\n")
    run.write_file("letters.csv", b"1;2\r\n3;abc\r\n")
    run.write_file("three.csv", b"1\n2\n3\n")
    run.write_file("wide.csv", b"1,2,3\n")
    run.write_file("high.csv", b"volts\n" + b"1\n" * 99 + b"12\n")
    run.write_file("binary.dat", bytes(range(16)))
    run.write_file("eight.wav", b"RIFF\x2c\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00"
                   b"\x40\x1f\x00\x00\x01\x00\x08\x00data\x08\x00\x00\x00" + bytes(8))
    for args, said in (
            (("load", "nowhere.csv"), "nowhere.csv: cannot be read"),
            (("load", "letters.csv"), "letters.csv: row 2, column 2: \"abc\" is not a number"),
            (("load", "three.csv"), "three.csv: 3 rows of values; a block needs 1000 or a number that divides 1000"),
            (("load", "wide.csv"), "wide.csv: row 1: 3 columns"),
            (("load", "high.csv"), "high.csv: row 101, column 1: 12 V is outside -10 to 9.99969 V"),
            (("load", "binary.dat"), "binary.dat: neither CSV text nor a WAV file"),
            (("load", "eight.wav"), "eight.wav: a WAV of 8-bit integer PCM"),
            (("play", "--amp1", 30000, "--offset-code1", 5000), "DAC1: sample 189 would be 32823, 56 above 32767"),
            (("play", "--shape2", "square", "--amp2", 32767, "--offset2", -0.001),
             "DAC2: sample 500 would be -32770, 2 below -32768"),
            (("play", "--shape1", "triangle", "--periods1", 25, "--save"), "--save: QorvelGen.sav keeps only")):
        rc, out, err = run.ctl(*args)
        check(rc == 2 and said in err and "nothing was sent" in err, "%s: exit %d, %r" % (args, rc, err))
    check(run.log() == [], "the board was asked %r" % [e["op"] for e in run.log()])
    check(run.read_file("QorvelGen.sav") is None, "QorvelGen.sav written")


def run_case(rig, function, attempt):
    """Runs one case and what must hold after it; true when it passed."""
    name = function.__name__ + (" (once more)" if attempt > 1 else "")
    began = time.monotonic()
    try:
        function(rig)
        rig.check_runs()
    except Exception as error:  # a case's failure must not stop the others
        print("FAIL %s (%.1f s): %s" % (name, time.monotonic() - began, error))
        if not isinstance(error, CaseFailure):
            traceback.print_exc()
        return False
    else:
        print("ok   %s (%.1f s)" % (name, time.monotonic() - began))
        return True
    finally:
        for run in rig.runs:
            run.stop()
        rig.runs.clear()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the win64 build folder")
    parser.add_argument("-k", dest="only", action="append",
                        help="run only cases whose name contains this (repeat -k for several)")
    parser.add_argument("--skip", action="append", default=[],
                        help="leave out cases whose name contains this (repeat for several); each is named")
    parser.add_argument("--exe", help="the QorvelGen.exe to run (default: the build's own)")
    parser.add_argument("--wine", help="the Wine loader (default: QORVEL_WINE, else wine64)")
    parser.add_argument("--work", help="the folder for the cases' working directories (default: BUILD/e2e)")
    parser.add_argument("--reference", help="another build's work folder whose written blocks must be matched")
    parser.add_argument("--other-board", help="the other architecture's VirtualBoard.dll, for the driver check")
    parser.add_argument("--ctl", help="the qorvelctl.exe to run (default: the build's own)")
    parser.add_argument("--boardscope", help="the host build's boardscope (default: build/host's)")
    args = parser.parse_args()

    global WINE
    if args.wine:
        WINE = args.wine
    rig = Rig(args.build, args.exe, args.work, args.reference, args.other_board, args.ctl, args.boardscope)
    passed = failed = 0
    problems = [name for name in ("DISPLAY", "WINEPREFIX") if not os.environ.get(name)]
    problems += [path for path in (rig.exe, rig.poke_exe) if not os.path.exists(path)]
    if not problems:
        rig.request_size = request_size(rig.exe)
        if rig.request_size is None:
            problems.append("an i686 or x86_64 PE header in " + rig.exe)
    if problems:
        print("e2e: the rig is not ready: missing %s" % ", ".join(problems))
        print("e2e: 0 passed, 1 failed")
        return 1
    os.makedirs(rig.work, exist_ok=True)
    print("e2e: %s sends %d-byte requests%s" % (rig.exe, rig.request_size,
                                               "; blocks compared with " + rig.reference if rig.reference else ""))

    again = []
    for function in CASES:
        name = function.__name__
        if args.only and not any(part in name for part in args.only):
            continue
        if any(part in name for part in args.skip):
            print("skip %s" % name)
            continue
        # Now and then Wine itself fails a program that did nothing wrong (a
        # start that never reaches it): a failed case runs once more, and one
        # that passes only then is named at the end.
        for attempt in (1, 2):
            if run_case(rig, function, attempt):
                passed += 1
                if attempt == 2:
                    again.append(name)
                break
        else:
            failed += 1
        sys.stdout.flush()
    if again:
        print("e2e: passed only when run once more: %s" % ", ".join(again))
    print("e2e: %d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

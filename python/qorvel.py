"""Drive the QorvelGen board from Python through a qorvelctl session.

One session attaches to the board once and keeps it until it ends; every
command is one line to qorvelctl and one JSON answer back, with the values the
board really took. Pure Python 3.8+, the standard library only: copy this one
file beside your script, or install the folder it ships in
(``py -m pip install .\\python``).

    from qorvel import Generator

    with Generator() as gen:                 # finds qorvelctl.exe, attaches
        gen.play(shape1="sine", freq1=1000, volts1=2.5,
                 shape2="sine", freq2=1000, volts2=2.5, phase2=90)
        dac1 = gen.channel(1)
        dac1.amplitude = 1.0                 # volts peak; the block is written again
        print(dac1.amplitude, dac1.frequency)  # what the board took
        for step in gen.sweep(100, 10000, steps=21, dwell_ms=200, log=True):
            print(step.rate, step.frequencies)
"""
import json
import os
import shutil
import subprocess
import sys
from typing import Any, Dict, Iterator, List, Optional, Sequence

__all__ = ["Generator", "Channel", "SweepStep", "QorvelError"]
__version__ = "1.2.0"

EXECUTABLE = "qorvelctl.exe" if os.name == "nt" else "qorvelctl"


class QorvelError(Exception):
    """A command the session refused or could not carry out.

    ``exit_code`` is the exit code qorvelctl would have ended with (2 bad
    arguments, 3 a driver fault, -2 the board could not be attached) and
    ``message`` what it said, the panel's Russian text for an attach failure.
    """

    def __init__(self, exit_code: int, message: str, answer: Optional[Dict[str, Any]] = None):
        super().__init__("qorvelctl exit %d: %s" % (exit_code, message))
        self.exit_code = exit_code
        self.message = message
        self.answer = answer or {}


class SweepStep:
    """One step of a sweep as it played: the rate the board read back, each
    channel's frequency at it (Hz) and when it began (ms from the sweep's
    start)."""

    def __init__(self, answer: Dict[str, Any]):
        self.index = int(answer["step"])  # type: int
        self.rate = float(answer["rate"])  # type: float
        self.frequencies = [float(f) for f in answer["frequencies"]]  # type: List[float]
        self.time_ms = float(answer["t"])  # type: float

    def __repr__(self) -> str:
        return "SweepStep(%d, rate=%g, frequencies=%r, time_ms=%g)" % (
            self.index, self.rate, self.frequencies, self.time_ms)


def _option(name: str, value: Any) -> List[str]:
    if value is None or value is False:
        return []
    if value is True:
        return ["--" + name]
    return ["--" + name, _word(value)]


def _word(value: Any) -> str:
    if isinstance(value, float):
        text = str(int(value)) if value.is_integer() and abs(value) < 1e15 else repr(value)
    else:
        text = str(value)
    # The session splits at blanks; quotes keep a path with blanks whole.
    if any(c in text for c in ' \t"') or not text:
        text = '"' + text.replace('"', '""') + '"'
    return text


def find_qorvelctl(qorvelctl: Optional[str] = None) -> str:
    """The qorvelctl to run: the one given, else QORVELCTL, else the one
    beside this module or in the folder above it (the zip's), else on PATH."""
    if qorvelctl:
        return qorvelctl
    if os.environ.get("QORVELCTL"):
        return os.environ["QORVELCTL"]
    here = os.path.dirname(os.path.abspath(__file__))
    for folder in (here, os.path.dirname(here)):
        candidate = os.path.join(folder, EXECUTABLE)
        if os.path.isfile(candidate):
            return candidate
    found = shutil.which(EXECUTABLE)
    if found:
        return found
    raise FileNotFoundError("qorvelctl not found: give qorvelctl=..., set QORVELCTL, or put it on PATH")


class Generator:
    """A qorvelctl session: the board attached once, one command at a time.

    ``directory`` is the folder of QorvelGen.cfg and QorvelGen.sav (default:
    the current one); ``qorvelctl`` the program (see ``find_qorvelctl``);
    ``command`` a whole command prefix to run instead, for example
    ``["wine", "qorvelctl.exe"]``. A context manager: the session ends, and the
    board is released, when the block ends. Raises QorvelError when the board
    cannot be attached.
    """

    def __init__(self, directory: Optional[str] = None, qorvelctl: Optional[str] = None,
                 command: Optional[Sequence[str]] = None):
        prefix = list(command) if command else [find_qorvelctl(qorvelctl)]
        self._process = subprocess.Popen(prefix + ["session"], cwd=directory, stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        self._last = {}  # type: Dict[str, Any]
        self._last = self._answer(self._read())  # the session's first answer: the attach

    # --- the session ---------------------------------------------------------
    def __enter__(self) -> "Generator":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def close(self) -> None:
        """Ends the session: the board is released (it keeps playing)."""
        if self._process.poll() is None:
            try:
                self._process.stdin.write(b"quit\n")
                self._process.stdin.close()
            except OSError:
                pass
            self._process.wait(timeout=30)

    def _read(self) -> Dict[str, Any]:
        line = self._process.stdout.readline()
        if not line:
            code = self._process.wait(timeout=30)
            raise QorvelError(code, "the qorvelctl session ended")
        return json.loads(line.decode("utf-8"))

    @staticmethod
    def _answer(answer: Dict[str, Any]) -> Dict[str, Any]:
        if answer.get("exit", 0) != 0:
            raise QorvelError(int(answer["exit"]), str(answer.get("message", answer.get("result", ""))), answer)
        return answer

    def send(self, *words: Any) -> Dict[str, Any]:
        """Sends one command (its words as on qorvelctl's command line) and
        returns its answer; raises QorvelError when it was refused."""
        self._write(words)
        answer = self._answer(self._read())
        if "channels" in answer:
            self._last = answer
        return answer

    def _write(self, words: Sequence[Any]) -> None:
        line = " ".join(_word(w) for w in words) + "\n"
        self._process.stdin.write(line.encode("utf-8"))

    # --- commands --------------------------------------------------------------
    def status(self) -> Dict[str, Any]:
        """The device, its ranges and whether it is present."""
        return self.send("status")

    def play(self, **options: Any) -> Dict[str, Any]:
        """Writes a block and plays it: the options of ``qorvelctl play``,
        with underscores for dashes (``shape1="square", freq1=1000, duty1=10,
        volts2=2.5, phase2=90, rate=20000, exact=True``). Options not given
        keep what the session last played."""
        words = ["play"]  # type: List[str]
        for name, value in options.items():
            words += _option(name.replace("_", "-"), value)
        return self.send(*words)

    def load(self, path: str, rate: Optional[float] = None, units: Optional[str] = None,
             channel: Optional[int] = None) -> Dict[str, Any]:
        """Plays a block from a CSV or WAV file (see ``qorvelctl load``)."""
        return self.send("load", path, *_option("rate", rate), *_option("units", units),
                         *_option("channel", channel))

    def rate(self, hz: float, run: bool = False) -> Dict[str, Any]:
        """A new common rate; with run, the block in the board plays at it."""
        return self.send("rate", hz, *_option("run", run))

    def stop(self) -> Dict[str, Any]:
        """Stops the board."""
        return self.send("stop")

    def autostart(self, on: bool) -> Dict[str, Any]:
        """Switches the board's power-on auto-start (it takes a second)."""
        return self.send("autostart", "on" if on else "off")

    def sweep(self, start: float, stop: float, steps: Optional[int] = None, step: Optional[float] = None,
              dwell_ms: float = 100, log: bool = False, channel: int = 1, down: bool = False,
              repeat: int = 1) -> Iterator[SweepStep]:
        """Steps the common rate so that ``channel``'s frequency goes from
        ``start`` to ``stop`` Hz: yields each step as it begins to play. The
        last step keeps playing."""
        self._write(["sweep", "--from", start, "--to", stop] + _option("steps", steps) + _option("step", step) +
                    ["--dwell", dwell_ms] + _option("log", log) + _option("channel", channel) +
                    _option("down", down) + _option("repeat", repeat))
        while True:
            answer = self._read()
            if "step" in answer and "exit" not in answer:
                yield SweepStep(answer)
                continue
            self._answer(answer)
            if "channels" in answer:
                self._last = answer
            return

    def channel(self, number: int) -> "Channel":
        """DAC1 (1) or DAC2 (2), as a lab framework's channel object."""
        if number not in (1, 2):
            raise ValueError("channel is 1 or 2")
        return Channel(self, number)


class Channel:
    """One output: its properties are what the board last took; setting one
    plays the block again with that value changed (the other channel keeps
    its own)."""

    def __init__(self, generator: Generator, number: int):
        self._generator = generator
        self.number = number

    def _now(self) -> Dict[str, Any]:
        channels = self._generator._last.get("channels")
        if not channels:
            self._generator.send("status")
            channels = self._generator._last.get("channels") or [{}, {}]
        return channels[self.number - 1]

    def _set(self, option: str, value: Any) -> None:
        self._generator.play(**{option + str(self.number): value})

    @property
    def shape(self) -> str:
        """sine, square, triangle, ramp or dc (file for a loaded block)."""
        return self._now().get("shape", "sine")

    @shape.setter
    def shape(self, value: str) -> None:
        self._set("shape", value)

    @property
    def frequency(self) -> float:
        """Hz: periods x the rate read back / 1000."""
        return float(self._now()["frequency"])

    @frequency.setter
    def frequency(self, value: float) -> None:
        self._set("freq", value)

    @property
    def amplitude(self) -> float:
        """Volts peak (by the DAC range of QorvelGen.cfg)."""
        return float(self._now()["volts"])

    @amplitude.setter
    def amplitude(self, value: float) -> None:
        self._set("volts", value)

    @property
    def amplitude_vpp(self) -> float:
        """Volts peak to peak."""
        return float(self._now()["peakToPeak"])

    @amplitude_vpp.setter
    def amplitude_vpp(self, value: float) -> None:
        self._set("vpp", value)

    @property
    def offset(self) -> float:
        """Volts added to every sample."""
        return float(self._now().get("offsetVolts") or 0.0)

    @offset.setter
    def offset(self, value: float) -> None:
        self._set("offset", value)

    @property
    def phase(self) -> float:
        """Degrees at the block's first sample."""
        return float(self._now().get("phase") or 0.0)

    @phase.setter
    def phase(self, value: float) -> None:
        self._set("phase", value)

    @property
    def duty(self) -> Optional[float]:
        """Percent of a square's period that is high (None for other shapes)."""
        duty = self._now().get("duty")
        return None if duty is None else float(duty)

    @duty.setter
    def duty(self, value: float) -> None:
        self._set("duty", value)


if __name__ == "__main__":  # a quick look: python qorvel.py
    with Generator() as generator:
        json.dump(generator.status(), sys.stdout, ensure_ascii=False, indent=1)
        print()

#!/usr/bin/env python3
"""Keeps the user guides honest where a machine can: runs what they quote and
compares what they name with what the tools say of themselves.

    check_guides.py ZIP --work DIR

The guides of the unpacked ZIP are read as a reader reads them:

- A line "C:\\QorvelGen> COMMAND" (or "C:\\QorvelGen\\demo> COMMAND") is a
  command typed at a command prompt in the unpacked folder (or its demo\\);
  the lines under it, up to the next prompt, are what the guide says it
  prints ("..." stands for any text, a line of "..." alone for any lines).
  The prompt lines of one example run in order through one Wine cmd, in a
  folder whose path has spaces, "&" and Cyrillic letters; each must print
  its lines, and end with exit code 0 unless the next line of the example
  is "echo %ERRORLEVEL%", which then shows the code. In "Nothing happens"
  the folder's QorvelGen.cfg names a device that is not registered, as that
  section supposes. Lines that start the panel for good (run-demo.cmd) are
  left to check_release.py's demo check, which drives the panel.
- An example whose first line is "@echo off" is a .cmd file: it runs in the
  unpacked folder and must end with exit code 0.
- A line "PS C:\\QorvelGen> COMMAND", and the PowerShell and Python
  examples, cannot run under Wine: only the options they name are checked.

Against --help: every option that `qorvelctl --help` (and each command's
--help) or `qorvelcfg --help` lists, and every exit code they list, appears
in both guides; no option appears in a guide that neither lists, nor on a
qorvelctl or qorvelcfg command line an option that its tool does not list.
A channel's options are written --ampN in the guides for --amp1 and --amp2.

Needs the Wine rig up with the virtual board registered as QorvelE, as for
the end-to-end tests. Each check prints "ok NAME" or "FAIL NAME: why"; the
last line is "guides: N passed, N failed".
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import run_e2e as e2e  # noqa: E402
from check_release import Checks  # noqa: E402

GUIDES = ("README-ru.txt", "README-en.txt")
PROMPT = re.compile(r"^\s*(PS )?C:\\QorvelGen(\\demo)?> (.*)$")
# An option as a guide writes it: --rate, --amp1, or --ampN for both channels.
OPTION = re.compile(r"--[a-z][a-z0-9-]*N?")
# The folder a bench engineer might well have: spaces, an ampersand, Cyrillic.
FOLDER = "R&D проба v1"
# The sections that suppose a state of their own.
NO_DRIVER_SECTIONS = ("Nothing happens: no panel and no message", "Ничего не происходит: нет ни панели, ни сообщения")
NO_DRIVER_CFG = b'DeviceName = "NoSuchBoard"\r\n'
PANEL_COMMANDS = ("run-demo.cmd",)
MARK = "##guide-check"
# cmd reads a batch file in the console's (OEM) code page: 866 in the rig.
BATCH_CODE_PAGE = "cp866"


check = e2e.check


def wine(*args, cwd=None):
    return subprocess.run([e2e.WINE] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          stdin=subprocess.DEVNULL, timeout=120, cwd=cwd)


def windows_path(path):
    return wine("winepath", "-w", path).stdout.decode().strip()


def decoded(line):
    """A line of the tools' output: UTF-8 into a pipe; what Wine's cmd itself
    echoes is in the ANSI code page, 1251 in the rig."""
    try:
        return line.decode("utf-8")
    except UnicodeDecodeError:
        return line.decode("cp1251", "replace")


def same(shown, printed):
    """A line the guide shows against one the tool printed: blanks runs as one,
    "..." any text."""
    pattern = ".*".join(re.escape(" ".join(part.split())) for part in shown.split("..."))
    return re.fullmatch(pattern, " ".join(printed.split())) is not None


def shows(expected, printed):
    """Every line the guide shows, in order, among those printed."""
    at = 0
    for line in expected:
        if line.strip() == "...":
            continue
        while at < len(printed) and not same(line.strip(), printed[at]):
            at += 1
        if at == len(printed):
            return line
        at += 1
    return None


# --- the guides ----------------------------------------------------------------

def sections(text):
    """(title, lines) for each section: a title is a line over one of dashes."""
    lines = text.splitlines()
    found, title, start = [], "", 0
    for i in range(1, len(lines)):
        if re.fullmatch(r"-{3,}", lines[i]) and lines[i - 1].strip() and len(lines[i]) == len(lines[i - 1]):
            found.append((title, lines[start:i - 1]))
            title, start = lines[i - 1], i + 1
    found.append((title, lines[start:]))
    return found


def examples(lines):
    """Runs of non-blank lines: the guide's examples among its paragraphs."""
    block = []
    for line in lines + [""]:
        if line.strip():
            block.append(line)
        elif block:
            yield block
            block = []


class Command:
    def __init__(self, shell, folder, text):
        self.shell, self.folder, self.text, self.shown = shell, folder, text, []


def prompt_commands(block):
    commands = []
    for line in block:
        match = PROMPT.match(line)
        if match:
            commands.append(Command("powershell" if match.group(1) else "cmd", "demo" if match.group(2) else "",
                                    match.group(3)))
        elif commands:
            commands[-1].shown.append(line)
    return commands


def tool_lines(text):
    """Every line that runs qorvelctl or qorvelcfg, whatever its form: after a
    prompt, in a .cmd or PowerShell example, or in Python's argument list."""
    found = []
    for line in text.splitlines():
        match = PROMPT.match(line)
        command = match.group(3) if match else line.strip()
        tool = re.match(r"(?:\.\\|\.\.\\)?(qorvelctl|qorvelcfg)(?:\.exe)?\b", command)
        if tool:
            found.append((tool.group(1), command))
        elif '"qorvelctl.exe"' in command:
            found.append(("qorvelctl", command))
    return found


# --- the tools' own word -----------------------------------------------------------

def help_of(unpacked):
    """The options and exit codes each tool lists."""
    def text(*args):
        result = wine(os.path.join(unpacked, args[0]), *args[1:], cwd=unpacked)
        check(result.returncode == 0, "%s exits %d" % (" ".join(args), result.returncode))
        return result.stdout.decode("utf-8", "replace")

    ctl = text("qorvelctl.exe", "--help")
    commands = re.findall(r"^  ([a-z]+)\s{2,}\S", ctl.split("Subcommands:")[1].split("\n\n")[0], re.M)
    check(commands, "qorvelctl --help lists no command")
    listed = set()
    for page in [ctl] + [text("qorvelctl.exe", command, "--help") for command in commands]:
        for line in page.split("Options:")[1].split("\n\n")[0].splitlines() if "Options:" in page else []:
            match = re.match(r"\s+(?:-[a-z],)?(--[a-z][a-z0-9-]*)", line)
            if match:
                listed.add(match.group(1))
    codes = re.findall(r"^  (-?\d+)\s", ctl.split("Exit codes:")[1], re.M)
    cfg = text("qorvelcfg.exe", "--help")
    cfg_options = set(OPTION.findall(cfg))
    cfg_codes = ["0"] + re.findall(r"exit with (-?\d+)", cfg)
    return {"qorvelctl": (listed, codes, commands), "qorvelcfg": (cfg_options, cfg_codes, ["show", "get"])}


def named(option, text):
    """Whether a guide names OPTION: --amp1 also as --ampN."""
    spelled = [option] + ([option[:-1] + "N"] if re.search(r"[a-z][12]$", option) else [])
    return any(re.search(re.escape(s) + r"(?![a-z0-9-])", text) for s in spelled)


def known(option, listed):
    return option in listed or (option.endswith("N") and option[:-1] + "1" in listed)


def check_names(text, tools):
    for tool, (listed, codes, commands) in tools.items():
        missing = sorted(o for o in listed if not named(o, text))
        check(not missing, "%s's options %s are not named" % (tool, missing))
        for command in commands:
            check(re.search(r"\b%s %s\b" % (tool, command), text), "%s %s is not named" % (tool, command))
    everything = set().union(*(listed for listed, _, _ in tools.values()))
    strays = sorted({o for o in OPTION.findall(text) if not known(o, everything)})
    check(not strays, "options no tool lists: %s" % strays)
    for tool, line in tool_lines(text):
        wrong = sorted({o for o in OPTION.findall(line) if not known(o, tools[tool][0])})
        check(not wrong, "%s does not list %s: %r" % (tool, wrong, line))


def check_codes(guide_sections, tools):
    for tool, (_, codes, _) in tools.items():
        text = "\n".join(line for title, lines in guide_sections if title.startswith(tool) for line in lines)
        check(text, "no section on %s" % tool)
        if tool == "qorvelctl":
            # The table of exit codes: a code, then its meaning.
            table = set(re.findall(r"^\s{2,4}(-?\d+)\s{2,}\S", text, re.M))
        else:
            table = set(re.findall(r"(?:exit\s+code|кодом|код\s+завершения)\s+(-?\d+)", text))
        missing = [code for code in codes if code not in table]
        check(not missing, "%s's exit codes %s are not listed in its section" % (tool, missing))


# --- running the examples ----------------------------------------------------------

def fresh_folder(zip_path, work, name, no_driver):
    folder = os.path.join(work, name, FOLDER)
    shutil.rmtree(os.path.join(work, name), ignore_errors=True)
    os.makedirs(folder)
    subprocess.run(["unzip", "-q", zip_path, "-d", folder], check=True, timeout=60)
    if no_driver:
        with open(os.path.join(folder, "QorvelGen.cfg"), "wb") as f:
            f.write(NO_DRIVER_CFG)
    return folder


def run_prompts(folder, commands):
    """The example's cmd lines as one batch file, each between marks that
    carry its exit code (echo leaves the error level as it is)."""
    lines = ["@echo off"]
    where = None
    for i, command in enumerate(commands):
        if command.folder != where:
            lines.append('cd /d "%s"' % windows_path(os.path.join(folder, command.folder)))
            where = command.folder
        lines += ["echo %s %d" % (MARK, i), command.text, "echo %s %d %%ERRORLEVEL%%" % (MARK, i)]
    script = os.path.join(folder, "guide-example.cmd")
    with open(script, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode(BATCH_CODE_PAGE))
    result = wine("cmd", "/c", "guide-example.cmd", cwd=folder)
    os.remove(script)
    printed, codes, current = {}, {}, None
    for raw in result.stdout.split(b"\n"):
        line = decoded(raw.rstrip(b"\r"))
        mark = re.fullmatch(MARK + r" (\d+)(?: (-?\d+))?", line.strip())
        if mark and mark.group(2) is None:
            current = int(mark.group(1))
            printed[current] = []
        elif mark:
            codes[int(mark.group(1))] = int(mark.group(2))
            current = None
        elif current is not None:
            printed[current].append(line)
    return printed, codes


def shows_exit_code(command):
    return command.text.strip().lower() == "echo %errorlevel%"


def check_prompts(folder, commands):
    printed, codes = run_prompts(folder, commands)
    for i, command in enumerate(commands):
        check(i in codes, "%r did not run to its end: %r" % (command.text, printed.get(i)))
        missing = shows(command.shown, printed[i])
        check(missing is None, "%r printed %r, without %r" % (command.text, printed[i], missing))
        shown_by_next = i + 1 < len(commands) and shows_exit_code(commands[i + 1])
        check(shown_by_next or shows_exit_code(command) or codes[i] == 0, "%r ended with exit code %d: %r" % (command.text, codes[i], printed[i]))


def check_batch(folder, block):
    script = os.path.join(folder, "guide-example.cmd")
    with open(script, "wb") as f:
        f.write(("\r\n".join(line[2:] if line.startswith("  ") else line for line in block) + "\r\n")
                .encode(BATCH_CODE_PAGE))
    result = wine("cmd", "/c", "guide-example.cmd", cwd=folder)
    os.remove(script)
    check(result.returncode == 0, "exit code %d: %r" % (result.returncode, decoded(result.stdout)))


def guide_checks(zip_path, work, guide, text, tools, checks):
    guide_sections = sections(text)
    checks.run("%s: the options of --help, and only those" % guide, check_names, text, tools)
    checks.run("%s: the exit codes of --help" % guide, check_codes, guide_sections, tools)
    skipped = []
    for number, (title, lines) in enumerate(guide_sections):
        runnable = []
        for block in examples(lines):
            if block[0].strip() == "@echo off":
                runnable.append(("the .cmd file", block))
                continue
            commands = prompt_commands(block)
            skipped += [c.text for c in commands if c.shell == "powershell"]
            cmd = [c for c in commands if c.shell == "cmd"]
            skipped += [c.text for c in cmd if c.text.strip() in PANEL_COMMANDS]
            cmd = [c for c in cmd if c.text.strip() not in PANEL_COMMANDS]
            if cmd:
                runnable.append((" | ".join(c.text for c in cmd), cmd))
        if not runnable:
            continue
        folder = fresh_folder(zip_path, work, "%s-%d" % (guide, number), title in NO_DRIVER_SECTIONS)
        for what, example in runnable:
            name = "%s, %s: %s" % (guide, title, what)
            if isinstance(example[0], Command):
                checks.run(name, check_prompts, folder, example)
            else:
                checks.run(name, check_batch, folder, example)
    print("     %s, not run under Wine (PowerShell, or the panel): %s" % (guide, "; ".join(skipped)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("zip", help="a release zip this Wine runs (the win64 one)")
    parser.add_argument("--work", required=True, help="a folder for the unpacked zips (emptied first)")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    checks = Checks("guides")
    unpacked = fresh_folder(os.path.abspath(args.zip), work, "help", False)
    tools = {}
    checks.run("the tools' --help", lambda: tools.update(help_of(unpacked)))
    if tools:
        for guide in GUIDES:
            with open(os.path.join(unpacked, guide), "rb") as f:
                text = f.read().decode("utf-8-sig").replace("\r\n", "\n")
            guide_checks(os.path.abspath(args.zip), work, guide, text, tools, checks)
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())

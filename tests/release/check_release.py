#!/usr/bin/env python3
"""Checks of what ships: the release zips and the release build behind them.

    check_release.py contents ZIP --arch win32|win64 --build RELEASE_BUILD --qorvelcfg HOST_QORVELCFG
        the zip's files, texts and settings files, and for each program in
        it: no debug sections, a debug link to symbols kept in the build,
        imports from system DLLs only, the version resource, the PE kind;
        for the build: the floating-point flags of every compiled file

    check_release.py demo ZIP [ZIP] --build WIN64_BUILD --work DIR [--refusal]
        unpacks each zip into a folder whose path has spaces, "&" and
        Cyrillic letters and runs its demo as a bench engineer would, under
        Wine's cmd: register-demo.cmd of each zip (only its own registry
        view changes, the other zip's registration stays), run-demo.cmd of
        each (the panel with the virtual board, F2 and Esc by real keys,
        exit 0, the demo's QorvelGen.sav), with --refusal run-demo.cmd where
        it cannot enter its folder (no program started), run-demo.cmd with a
        QorvelGen.cfg of another board (none started), unregister-demo.cmd
        of each; then register-demo.cmd where the DLL's path is too long
        (nothing registered), and the keys above VirtualBoard that
        unregister-demo.cmd removes (the ones it created, only while empty).
        No script started by cmd /c waits for a key; each says its messages
        in Russian too.
        Needs the Wine rig up, as for the end-to-end tests, on a Wine that
        runs every zip's programs.

Each check prints "ok NAME" or "FAIL NAME: why"; the last line is
"release: N passed, N failed".
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import run_e2e as e2e  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEMO_KEY = "HKLM\\SOFTWARE\\Brackwell\\Drivers\\1.0\\VirtualBoard"
BOM = b"\xef\xbb\xbf"

PACKAGE_FILES = {
    "QorvelGen.exe", "qorvelcfg.exe", "qorvelctl.exe", "QorvelGen.cfg", "README-ru.txt", "README-en.txt",
    "SHA256SUMS.txt",
    "demo/VirtualBoard.dll", "demo/QorvelGen.cfg", "demo/register-demo.cmd", "demo/unregister-demo.cmd",
    "demo/run-demo.cmd", "python/qorvel.py", "python/pyproject.toml",
}
PROGRAMS = ("QorvelGen.exe", "qorvelcfg.exe", "qorvelctl.exe", "demo/VirtualBoard.dll")
# Every Windows has these; qorvelctl reads WAV files through WINMM's RIFF calls
# and its wide command line through SHELL32.
SYSTEM_DLLS = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL",
               "WINMM.DLL", "SHELL32.DLL"}
CONFIG_KEYS = ("DeviceName", "Device", "HelpPreDelay", "HelpPostDelay", "ADCRange", "DACRange", "FreqSIN")
# Texts a user must find in both guides exactly as the program shows them.
GUIDE_TEXTS = (e2e.MSG_PROPERTIES, e2e.MSG_NOT_CONNECTED, e2e.MSG_GONE,
               "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brackwell\\Drivers\\1.0\\<DeviceName>",
               "F2", "qorvelcfg show", "qorvelctl play", "qorvelctl --help", "register-demo.cmd", "run-demo.cmd",
               "unregister-demo.cmd")
PE_KIND = {"win32": ("pei-i386", "(PE32)"), "win64": ("pei-x86-64", "(PE32+)")}
# The x86_64 binutils read both kinds of PE file, so a file of the wrong kind
# fails its check instead of the tool.
OBJDUMP, OBJCOPY, WINDRES = ("x86_64-w64-mingw32-" + tool for tool in ("objdump", "objcopy", "windres"))


class Checks:
    """Named checks, each run whatever the ones before did; the summary line
    is "LABEL: N passed, N failed"."""

    def __init__(self, label="release"):
        self.label = label
        self.passed = self.failed = 0

    def run(self, name, function, *args):
        try:
            function(*args)
        except Exception as error:  # one failed check must not hide the others
            self.failed += 1
            print("FAIL %s: %s" % (name, error))
        else:
            self.passed += 1
            print("ok   %s" % name)
        sys.stdout.flush()

    def summary(self):
        print("%s: %d passed, %d failed" % (self.label, self.passed, self.failed))
        return 0 if self.failed == 0 and self.passed > 0 else 1


check = e2e.check


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(QorvelGen VERSION ([0-9.]+)", f.read()).group(1)


def output(*command):
    """A tool's output, in English whatever the locale (binutils translate theirs)."""
    env = dict(os.environ, LC_ALL="C")
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=60, env=env).stdout.decode("utf-8", "replace")


# --- contents --------------------------------------------------------------

def check_file_list(names):
    check(set(names) == PACKAGE_FILES, "extra %s, missing %s" % (sorted(set(names) - PACKAGE_FILES),
                                                                 sorted(PACKAGE_FILES - set(names))))


def check_checksums(files):
    lines = files["SHA256SUMS.txt"].decode().splitlines()
    listed = {}
    for line in lines:
        digest, name = line.split("  ", 1)
        listed[name] = digest
    want = {name: hashlib.sha256(data).hexdigest() for name, data in files.items() if name != "SHA256SUMS.txt"}
    check(listed == want, "SHA256SUMS.txt %r, files %r" % (listed, want))


def windows_lines(data, what):
    check(b"\n" in data and data.endswith(b"\r\n"), "%s does not end with CR LF" % what)
    check(data.count(b"\n") == data.count(b"\r\n") and data.count(b"\r") == data.count(b"\r\n"),
          "%s has line ends other than CR LF" % what)


def check_python_package(files, version):
    """The Python package says the zip's version, and its module compiles."""
    check('version = "%s"' % version in files["python/pyproject.toml"].decode(), "pyproject.toml's version")
    module = files["python/qorvel.py"].decode()
    check('__version__ = "%s"' % version in module, "qorvel.py's __version__")
    compile(module, "qorvel.py", "exec")


def check_texts(files, version, arch):
    for name in ("README-ru.txt", "README-en.txt", "QorvelGen.cfg", "demo/QorvelGen.cfg"):
        data = files[name]
        check(data.startswith(BOM), "%s has no UTF-8 byte-order mark" % name)
        windows_lines(data, name)
        text = data[len(BOM):].decode("utf-8")
        check(not re.search(r"@[A-Za-z_]+@", text), "%s holds an unreplaced @VARIABLE@" % name)
    for name in ("README-ru.txt", "README-en.txt"):
        text = files[name][len(BOM):].decode("utf-8")
        missing = [t for t in GUIDE_TEXTS + ("QorvelGen " + version,) if t not in text]
        check(not missing, "%s lacks %r" % (name, missing))
    for name in ("demo/register-demo.cmd", "demo/unregister-demo.cmd", "demo/run-demo.cmd"):
        data = files[name]
        check(not data.startswith(BOM), "%s starts with a byte-order mark, which cmd runs as a command" % name)
        check_russian_lines(data.decode("cp866"), name)
        windows_lines(data, name)
        check(not re.search(rb"@[A-Za-z_]+@", data), "%s holds an unreplaced @VARIABLE@" % name)
    # Each zip's demo registers its driver in the view its own program reads.
    view = {"win32": b"32", "win64": b"64"}[arch]
    for name in ("demo/register-demo.cmd", "demo/unregister-demo.cmd"):
        check(b'set "VIEW=' + view + b'"' in files[name], "%s does not work on the %s-bit view" % (name, view))


def check_russian_lines(text, name):
    """cmd reads a script's line in the console's code page when it runs it:
    every line with Russian letters (code page 866) is an echo that runs
    after "call :ru" has switched the console to 866 and before "call :en"
    switches it back, and none stands inside a parenthesised block, which
    cmd reads whole before anything in it runs. Every message has its
    Russian lines."""
    switched, depth, russian, messages = False, 0, 0, 0
    for number, line in enumerate(text.splitlines(), 1):
        stripped = line.strip()
        if stripped == "call :ru":
            switched = True
            messages += 1
        elif stripped == "call :en":
            switched = False
        if any(ord(c) > 127 for c in line):
            check(switched and depth == 0 and stripped.startswith("echo "),
                  "%s:%d: Russian text cmd would read in another code page: %r" % (name, number, line))
            check(any("\u0400" <= c <= "\u04ff" for c in line), "%s:%d: not Russian: %r" % (name, number, line))
            russian += 1
        if not stripped.lower().startswith(("rem ", "echo ")):
            bare = re.sub(r'"[^"]*"', "", line)
            depth += bare.count("(") - bare.count(")")
    check(not switched, "%s ends in code page 866" % name)
    check(russian >= messages > 0, "%s: %d messages, %d Russian lines" % (name, messages, russian))


def show(qorvelcfg, folder):
    return output(qorvelcfg, "show", folder).splitlines()


def config_section(lines):
    """The configuration's lines of qorvelcfg show, without its header."""
    end = next(i for i, line in enumerate(lines) if "QorvelGen.sav:" in line)
    return lines[1:end]


def check_settings(qorvelcfg, unpacked, scratch):
    # The sample sets every key to its default: read by the program's own
    # rules, it must give what no configuration at all gives.
    empty = os.path.join(scratch, "no-configuration")
    os.makedirs(empty, exist_ok=True)
    sample = show(qorvelcfg, unpacked)
    check("loaded" in sample[0] and "not loaded" not in sample[0], "the sample was not loaded: %r" % sample[0])
    read, defaults = config_section(sample), config_section(show(qorvelcfg, empty))
    check(read == defaults, "the sample reads %r, the defaults are %r" % (read, defaults))
    cfg = os.path.join(unpacked, "QorvelGen.cfg")
    for key in CONFIG_KEYS:
        result = output(qorvelcfg, "get", cfg, key, "--string").splitlines()[0]
        check(result == "1", "the sample does not set %s" % key)
    demo = show(qorvelcfg, os.path.join(unpacked, "demo"))
    for line in (r"\s*DeviceName\s+= VirtualBoard$", r"\s*HelpPreDelay\s+= 1000$",
                 r"registry key: HKEY_LOCAL_MACHINE\\SOFTWARE\\Brackwell\\Drivers\\1\.0\\VirtualBoard$"):
        check(any(re.match(line, shown) for shown in demo), "the demo configuration reads %r" % demo)


def check_program(arch, path, name, build):
    sections = [line.split()[1] for line in output(OBJDUMP, "-h", path).splitlines()
                if re.match(r"\s+\d+ \S", line)]
    debug = [s for s in sections if s.startswith((".debug", ".zdebug"))]
    check(not debug, "%s has debug sections %s" % (name, debug))
    check(".gnu_debuglink" in sections, "%s has no debug link" % name)

    # The debug link names the symbol file kept beside the build's own copy.
    linked, copy = os.path.join(build, "debuglink"), os.path.join(build, "debuglink-copy")
    subprocess.run([OBJCOPY, "--dump-section", ".gnu_debuglink=" + linked, path, copy],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(linked, "rb") as f:
        symbols_name = f.read().split(b"\0")[0].decode()
    os.remove(linked)
    os.remove(copy)
    folder = {"QorvelGen.exe": "src/app", "qorvelcfg.exe": "tools", "qorvelctl.exe": "tools/qorvelctl",
              "demo/VirtualBoard.dll": "board"}[name]
    symbols = os.path.join(build, folder, symbols_name)
    check(symbols_name == os.path.basename(name) + ".debug" and os.path.exists(symbols),
          "%s links to %r, not found beside the build's copy" % (name, symbols_name))
    check(".debug_info" in output(OBJDUMP, "-h", symbols), "%s holds no symbols" % symbols)

    headers = output(OBJDUMP, "-p", path)
    file_format, magic = PE_KIND[arch]
    check("file format " + file_format in headers and re.search(r"Magic\s+\S+\s+" + re.escape(magic), headers),
          "%s is not %s %s" % (name, file_format, magic))
    imports = {dll.upper() for dll in re.findall(r"DLL Name: (\S+)", headers)}
    check(imports and imports <= SYSTEM_DLLS, "%s imports %s" % (name, sorted(imports - SYSTEM_DLLS) or "nothing"))


def check_version(path, name, version):
    rc = output(WINDRES, "-i", path, "-O", "rc")
    numbers = ", ".join(version.split(".") + ["0"])
    for pattern in ("FILEVERSION " + numbers, "PRODUCTVERSION " + numbers,
                    'VALUE "FileVersion", "%s"' % version, 'VALUE "ProductVersion", "%s"' % version,
                    'VALUE "ProductName", "QorvelGen"', 'VALUE "OriginalFilename", "%s"' % name,
                    'VALUE "FileDescription", "QorvelGen '):
        check(pattern in rc, "%s: no %s in its version resource" % (name, pattern))
    for invented in ("CompanyName", "LegalCopyright", "LegalTrademarks"):
        check(invented not in rc, "%s names a %s" % (name, invented))


def check_manifest(path, name):
    """Every program runs as the user who starts it and is never virtualised:
    without a manifest that says so, Windows redirects a 32-bit tool's writes
    under Program Files into a VirtualStore the panel never reads. A manifest
    resource is stored as its UTF-8 text."""
    with open(path, "rb") as f:
        data = f.read()
    for text in (b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>',
                 b'<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'):
        check(text in data, "%s: its manifest lacks %s" % (name, text.decode()))


def check_float_flags(arch, build):
    with open(os.path.join(build, "compile_commands.json")) as f:
        commands = [entry for entry in json.load(f) if entry["file"].endswith(".cpp")]
    needed = ["-ffp-contract=off"] + (["-msse2", "-mfpmath=sse"] if arch == "win32" else [])
    lacking = [os.path.relpath(e["file"], ROOT) for e in commands if not all(flag in e["command"].split()
                                                                         for flag in needed)]
    check(commands and not lacking, "compiled without %s: %s" % (" ".join(needed), lacking or "no files"))


def contents(args, checks):
    version = project_version()
    with zipfile.ZipFile(args.zip) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        files = {n: archive.read(n) for n in names}
    base = "%s(%s)" % (os.path.basename(args.zip), args.arch)
    checks.run(base + " name", lambda: check(os.path.basename(args.zip) == "QorvelGen-%s-%s.zip" % (version, args.arch),
                                            "unexpected name"))
    checks.run(base + " files", check_file_list, names)
    checks.run(base + " SHA256SUMS.txt", check_checksums, files)
    checks.run(base + " texts", check_texts, files, version, args.arch)
    checks.run(base + " Python package", check_python_package, files, version)

    scratch = os.path.join(os.path.abspath(args.build), "check-" + args.arch)
    shutil.rmtree(scratch, ignore_errors=True)
    unpacked = os.path.join(scratch, "unpacked")
    with zipfile.ZipFile(args.zip) as archive:
        archive.extractall(unpacked)
    checks.run(base + " settings files", check_settings, args.qorvelcfg, unpacked, scratch)
    for name in PROGRAMS:
        path = os.path.join(unpacked, name)
        checks.run("%s %s" % (base, name), check_program, args.arch, path, name, os.path.abspath(args.build))
        print("     %s: %d bytes" % (name, os.path.getsize(path)))
    for name in ("QorvelGen.exe", "qorvelcfg.exe", "qorvelctl.exe"):
        checks.run("%s %s version" % (base, name), check_version, os.path.join(unpacked, name), name,
                   version)
        checks.run("%s %s manifest" % (base, name), check_manifest, os.path.join(unpacked, name), name)
    checks.run(base + " floating-point flags", check_float_flags, args.arch, args.build)


# --- demo --------------------------------------------------------------------

def wine(*args, env=None, cwd=None):
    return subprocess.run([e2e.WINE] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60,
                          env=env, cwd=cwd, stdin=subprocess.DEVNULL)


def windows_path(path):
    return wine("winepath", "-w", path).stdout.decode().strip()


def registered(view):
    """The demo's registered driver path in one registry view, or None."""
    result = wine("reg", "query", DEMO_KEY, "/v", "path", "/reg:" + view)
    if result.returncode != 0:
        return None
    match = re.search(r"path\s+REG_SZ\s+(.+?)\r?$", result.stdout.decode("cp866"), re.M)
    return match.group(1) if match else ""


def zip_arch(zip_path):
    return re.search(r"-(win32|win64)\.zip$", zip_path).group(1)


# A folder a bench engineer might well have: spaces, an ampersand, Cyrillic.
AWKWARD_FOLDER = "R&D проба v1"


class DemoRun(e2e.Run):
    """A demo script through Wine's cmd, started in the folder `cwd` as
    `cmd /c command`. Wine's output and the board's log stay in this run's
    own folder: the script itself must make demo\\ the program's working
    directory."""

    def __init__(self, rig, name, cwd, command):
        super().__init__(rig, name, cfg=None)
        self.cwd, self.command = cwd, command

    def start(self):
        self.output = open(os.path.join(self.dir, "wine.log"), "wb")
        self.process = subprocess.Popen([e2e.WINE, "cmd", "/c", self.command], cwd=self.cwd, env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT)
        return self

    def refused(self, what):
        """Runs the script where it must refuse to start the program: it ends
        with a code other than 0, the board never reached. Its output."""
        try:
            code = self.start().wait_exit(20)
        finally:
            self.stop()
        self.rig.runs.clear()
        check(code != 0, "%sexit code %d" % (what, code))
        check(self.log() == [], "%sthe board was reached: %r" % (what, self.log()[:2]))
        return self.text()

    def text(self):
        with open(os.path.join(self.dir, "wine.log"), "rb") as f:
            return f.read().decode("cp866", "replace")


def run_script(unpacked, name, russian=None, code=0):
    """demo\\NAME run from the unpacked zip's folder, as from a command prompt
    there (cmd /c, so it must never wait for a key). Wine's cmd writes what it
    echoes into a pipe in the ANSI code page (1251 in the rig), where the
    console would show the script's code page 866: the Russian line RUSSIAN
    is looked for in that."""
    result = wine("cmd", "/c", "demo\\" + name, cwd=unpacked)
    text = result.stdout.decode("cp866", "replace").strip()
    check(result.returncode == code, "%s: exit %d, not %d: %r" % (name, result.returncode, code, text))
    check("press a key" not in text, "%s waited for a key, started by cmd /c: %r" % (name, text))
    if russian:
        echoed = result.stdout.decode("cp1251", "replace")
        check(russian in echoed, "%s did not say %r: %r" % (name, russian, echoed))
    return text


def reg(*args):
    return wine("reg", *args).returncode


def key_exists(key, view):
    return reg("query", key, "/reg:" + view) == 0


def value_of(key, name, view):
    result = wine("reg", "query", key, "/v", name, "/reg:" + view)
    match = re.search(name + r"\s+REG_SZ\s+(.+?)\r?$", result.stdout.decode("cp866"), re.M)
    return match.group(1) if result.returncode == 0 and match else None


def demo(args, checks):
    """Both zips' demos side by side, as on a bench PC that tries both: each
    registers only the view its own program reads, each program then finds
    its own registration, and each unregisters only its own."""
    work = os.path.abspath(args.work)
    rig = e2e.Rig(args.build, work=os.path.join(work, "runs"))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(rig.work)
    zips = {zip_arch(z): os.path.abspath(z) for z in args.zip}
    unpacked = {}
    for arch, zip_path in zips.items():
        unpacked[arch] = os.path.join(work, arch, AWKWARD_FOLDER)
        os.makedirs(unpacked[arch])
        subprocess.run(["unzip", "-q", zip_path, "-d", unpacked[arch]], check=True, timeout=60)
    view_of = {"win32": "32", "win64": "64"}

    def dll(arch):
        return windows_path(os.path.join(unpacked[arch], "demo", "VirtualBoard.dll"))

    def views():
        return {view: registered(view) for view in ("64", "32")}

    def register(arch, before):
        def step():
            check(views() == before, "before: %r, not %r" % (views(), before))
            run_script(unpacked[arch], "register-demo.cmd", russian="VirtualBoard зарегистрирована")
            after = dict(before, **{view_of[arch]: dll(arch)})
            check(views() == after, "registered %r, not %r" % (views(), after))
            return after
        return step

    def run_demo(arch):
        def step():
            rig.exe = os.path.join(unpacked[arch], "QorvelGen.exe")
            rig.request_size = e2e.request_size(rig.exe)
            demo_dir = os.path.join(unpacked[arch], "demo")
            run = DemoRun(rig, "demo-run-" + arch, unpacked[arch], "demo\\run-demo.cmd").start_panel()
            try:
                info = run.info()
                check(info["title"] == e2e.PANEL_TITLE and info["visible"] == 1, "panel %r" % info)
                check(run.log()[0] == {"t": run.log()[0]["t"], "op": "Create", "name": "IADCDevice"},
                      "the board's first call %r" % run.log()[0])
                shot = os.path.join(work, "demo-panel-%s.png" % arch)
                subprocess.run([e2e.IMPORT, "-window", "root", "-crop", e2e.crop(info["rect"]), "+repage", shot],
                               check=True, timeout=30)
                print("     the demo's panel: %s" % shot)
                run.activate()
                run.set_mark()
                run.key("F2")
                run.expect([("rate", 1000.0), ("stop",), ("run", 1000.0)])
                check(run.info()["start"] == 1, "F2 did not check the Start box")
                run.key("Escape")
                check(run.wait_exit(30) == 0, "run-demo.cmd's exit code")
            finally:
                run.stop()
            rig.check_runs()
            rig.runs.clear()
            # No saved state came with the demo: the panel started at 1000 Hz,
            # amplitudes 0, and saved that into demo\ only.
            with open(os.path.join(demo_dir, "QorvelGen.sav"), "rb") as f:
                saved = f.read()
            check(saved == e2e.saved_state(1000, 0, 0, 0, 0), "demo\\QorvelGen.sav is %r" % saved)
            strays = [p for p in (os.path.join(unpacked[arch], "QorvelGen.sav"),
                                  os.path.join(run.dir, "QorvelGen.sav")) if os.path.exists(p)]
            check(not strays, "saved state written outside demo\\: %s" % strays)
        return step

    def refuse(arch):
        """Where run-demo.cmd cannot enter its folder (Wine's cmd cannot even
        name a folder this long, as pushd cannot enter a folder it cannot
        name), it must not start the program: from any other folder the
        program would read no demo configuration and open the real board,
        which the rig has registered as QorvelE. A QorvelGen.exe one folder
        above cmd's own folder stands ready for a script that goes on."""
        def step():
            deep = os.path.join(work, "deep", *(["a-long-folder-name-" + "x" * 40] * 5))
            os.makedirs(deep)
            subprocess.run(["unzip", "-q", zips[arch], "demo/*", "-d", deep], check=True, timeout=60)
            run = DemoRun(rig, "demo-refused-" + arch, None, None)
            cwd = os.path.join(run.dir, "cwd")
            os.makedirs(cwd)
            shutil.copy(os.path.join(unpacked[arch], "QorvelGen.exe"), run.dir)
            # winepath cuts what it prints at 260 characters: the drive Z: path is
            # spelled out here.
            run.cwd, run.command = cwd, "Z:" + os.path.join(deep, "demo", "run-demo.cmd").replace("/", "\\")
            check(len(run.command) > 260, "the path is only %d characters" % len(run.command))
            text = run.refused("")
            check("cannot make this script's folder the working directory" in text, "output %r" % text)
            # Started by cmd /c, not from Explorer: it ends without waiting.
            check("press a key" not in text, "it waited for a key: %r" % text)
        return step

    def other_board(arch):
        """With the main QorvelGen.cfg copied into demo\\ (it selects QorvelE,
        the rig's stand-in for a real board), or DeviceName edited there,
        run-demo.cmd must not start the program."""
        def step():
            demo_cfg = os.path.join(unpacked[arch], "demo", "QorvelGen.cfg")
            shutil.copy(demo_cfg, demo_cfg + ".kept")
            try:
                for name, source in (("main-cfg", os.path.join(unpacked[arch], "QorvelGen.cfg")),
                                     ("edited", None)):
                    if source:
                        shutil.copy(source, demo_cfg)
                    else:
                        # Only a comment names the demo's board now.
                        with open(demo_cfg, "wb") as f:
                            f.write(b'; DeviceName = "VirtualBoard"\r\nDeviceName = "VirtualBoard2"\r\n')
                    run = DemoRun(rig, "demo-other-board-%s-%s" % (name, arch), unpacked[arch], "demo\\run-demo.cmd")
                    text = run.refused(name + ": ")
                    check("does not select the virtual board" in text and "press a key" not in text,
                          "%s: output %r" % (name, text))
            finally:
                shutil.move(demo_cfg + ".kept", demo_cfg)
        return step

    def long_path(arch):
        """A DLL path of more than 255 characters, which the program cannot
        read: register-demo.cmd says so and registers nothing. The path is
        256 characters, the script's own 257, so that cmd still runs it."""
        def step():
            before = views()
            base = os.path.join(work, "long")
            os.makedirs(base, exist_ok=True)
            shown = len(windows_path(base))
            folder = os.path.join(base, "f" * (234 - shown - 1))
            check(len(windows_path(folder)) == 234, "the folder is %r" % windows_path(folder))
            subprocess.run(["unzip", "-q", zips[arch], "demo/*", "-d", folder], check=True, timeout=60)
            text = run_script(folder, "register-demo.cmd", russian="читает не больше 255", code=1)
            check("is 256 characters long" in text and "at most 255" in text, "output %r" % text)
            check(views() == before, "registered %r, not %r" % (views(), before))
        return step

    def prune(arch):
        """unregister-demo.cmd removes the empty keys that register-demo.cmd
        created above VirtualBoard, and never a key that holds anything else:
        on a PC without the board's driver the whole chain goes; with a
        driver registered meanwhile, its keys stay."""
        def step():
            view = view_of[arch]
            top, parent = "HKLM\\SOFTWARE\\Brackwell", "HKLM\\SOFTWARE\\Brackwell\\Drivers\\1.0"
            board = parent + "\\QorvelE"
            driver = value_of(board, "path", view)
            check(driver, "the rig's QorvelE is not registered in the %s-bit view" % view)
            try:
                check(reg("delete", top, "/f", "/reg:" + view) == 0, "could not clear %s" % top)
                run_script(unpacked[arch], "register-demo.cmd")
                check(value_of(DEMO_KEY, "createdAbove", view) == "3", "createdAbove %r" %
                      value_of(DEMO_KEY, "createdAbove", view))
                run_script(unpacked[arch], "unregister-demo.cmd", russian="VirtualBoard удалена")
                check(not key_exists(top, view), "%s left behind" % top)
                run_script(unpacked[arch], "register-demo.cmd")
                check(reg("add", board, "/v", "path", "/t", "REG_SZ", "/d", driver, "/f", "/reg:" + view) == 0,
                      "could not register QorvelE")
                run_script(unpacked[arch], "unregister-demo.cmd")
                check(not key_exists(DEMO_KEY, view), "VirtualBoard left behind")
                check(value_of(board, "path", view) == driver, "QorvelE's key went with the demo's")
            finally:
                reg("add", board, "/v", "path", "/t", "REG_SZ", "/d", driver or "", "/f", "/reg:" + view)
        return step

    def unregister(arch, before):
        def step():
            check(views() == before, "before: %r, not %r" % (views(), before))
            run_script(unpacked[arch], "unregister-demo.cmd")
            after = dict(before, **{view_of[arch]: None})
            check(views() == after, "left %r, not %r" % (views(), after))
            return after
        return step

    state = {"64": None, "32": None}
    order = sorted(zips)
    for arch in order:
        name = "%s demo: register-demo.cmd in %s" % (os.path.basename(zips[arch]), AWKWARD_FOLDER)
        step = register(arch, dict(state))
        checks.run(name, lambda: state.update(step()))
    for arch in order:
        checks.run("%s demo: run-demo.cmd, F2, Esc" % os.path.basename(zips[arch]), run_demo(arch))
    if args.refusal:
        checks.run("%s demo: run-demo.cmd refuses a folder it cannot enter" % os.path.basename(zips[order[0]]),
                   refuse(order[0]))
    first = os.path.basename(zips[order[0]])
    checks.run("%s demo: run-demo.cmd refuses a QorvelGen.cfg of another board" % first, other_board(order[0]))
    for arch in order:
        step = unregister(arch, dict(state))
        checks.run("%s demo: unregister-demo.cmd" % os.path.basename(zips[arch]), lambda: state.update(step()))
    checks.run("%s demo: register-demo.cmd refuses a path of more than 255 characters" % first, long_path(order[0]))
    checks.run("%s demo: unregister-demo.cmd removes the empty keys it created, no other" % first, prune(order[0]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("contents")
    p.add_argument("zip")
    p.add_argument("--arch", choices=sorted(PE_KIND), required=True)
    p.add_argument("--build", required=True, help="the release build the zip was packed from")
    p.add_argument("--qorvelcfg", required=True, help="a qorvelcfg this machine runs")
    p = commands.add_parser("demo")
    p.add_argument("zip", nargs="+", help="one zip of each architecture, or the win64 zip alone")
    p.add_argument("--build", required=True, help="the win64 build whose qorvel_poke.exe watches the panel")
    p.add_argument("--work", required=True, help="a folder for the unpacked zips (emptied first)")
    # Wine 8's cmd runs a script from a path longer than 260 characters but
    # cannot name its folder there; Wine 10's cmd does not run such a script
    # at all, so the refusal can only be produced on the former.
    p.add_argument("--refusal", action="store_true",
                   help="also run run-demo.cmd where it cannot enter its folder (Wine 8)")
    args = parser.parse_args()

    checks = Checks()
    {"contents": contents, "demo": demo}[args.command](args, checks)
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())

#include "DriverCheck.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

const char* ZipOf(int bits) {
    return bits == 32 ? "win32" : "win64";
}

std::string TypeName(uint32_t type) {
    switch (type) {
    case 0: return "REG_NONE";
    case 1: return "REG_SZ";
    case 2: return "REG_EXPAND_SZ";
    case 3: return "REG_BINARY";
    case 4: return "REG_DWORD";
    case 5: return "REG_DWORD_BIG_ENDIAN";
    case 6: return "REG_LINK";
    case 7: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: return Format("type %u", type);
    }
}

std::string MachineName(const PeImage& image) {
    switch (PeMachineBits(image.machine)) {
    case 32: return "32-bit (x86)";
    case 64: return "64-bit (x64)";
    default: return Format("machine 0x%04X", image.machine);
    }
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Reason(const DriverView& view, DriverProblem problem) {
    switch (problem) {
    case DriverProblem::None: return "usable";
    case DriverProblem::NoView: return "no such view on 32-bit Windows";
    case DriverProblem::NoKey: return "no key";
    case DriverProblem::KeyUnreadable: return Format("the key cannot be opened (error %u)", view.keyError);
    case DriverProblem::NoPath: return "the key has no value path";
    case DriverProblem::PathNotText: return "path is " + TypeName(view.pathType) + ", not REG_SZ";
    case DriverProblem::PathTooLong:
        return Format("path is longer than %u characters", static_cast<unsigned>(MaxDriverPathLength));
    case DriverProblem::NoFile: return "the file that path names does not exist";
    case DriverProblem::FileUnreadable: return Format("the file cannot be read (error %u)", view.fileError);
    case DriverProblem::FileTooLarge: return "the file is too large to be a driver";
    case DriverProblem::NotPe: return "the file is not a DLL";
    case DriverProblem::Damaged: return "the file's DLL headers are damaged";
    case DriverProblem::OtherMachine:
        if (PeMachineBits(view.image.machine) == 0)
            return "the DLL is built for " + MachineName(view.image) + ", which no QorvelGen.exe loads";
        return Format("a %d-bit program cannot load a %d-bit DLL", view.bits,
                      PeMachineBits(view.image.machine));
    case DriverProblem::NoFactory: return "the DLL does not export StaticFactory: it is no board driver";
    }
    return "";
}

std::string PathLine(const DriverView& view) {
    if (!view.hasPath) return "path: missing";
    if (!view.pathIsText) return "path: " + TypeName(view.pathType) + " (only REG_SZ is read)";
    std::string line = "path: " + Quoted(view.path) + ", " + TypeName(view.pathType);
    if (view.pathType != 1) line += " (only REG_SZ is read)";
    if (view.pathLength > MaxDriverPathLength)
        line += Format(", %u characters (at most %u are read)", static_cast<unsigned>(view.pathLength),
                       static_cast<unsigned>(MaxDriverPathLength));
    return line;
}

std::string FileLine(const DriverView& view) {
    switch (view.file) {
    case FileState::Missing: return "file: not found";
    case FileState::Unreadable: return Format("file: found, cannot be read (error %u)", view.fileError);
    case FileState::TooLarge:
        return Format("file: found, larger than %u MB: not read",
                      static_cast<unsigned>(MaxDriverFileSize >> 20));
    case FileState::Found: break;
    }
    const PeImage& image = view.image;
    if (image.status == PeStatus::NotPe) return "file: found, not a DLL (no PE headers)";
    std::string line = "file: found, " + MachineName(image) + (image.isDll ? " DLL" : " program, not a DLL");
    if (image.status == PeStatus::Damaged) return line + ", headers damaged";
    return line + (image.exportsName ? ", exports StaticFactory" : ", does not export StaticFactory");
}

// The lines of one view: its findings, as far as they go, and its result.
void DescribeView(const DriverView& view, std::vector<std::string>& lines) {
    const std::string head =
        Format("  %d-bit view, read by QorvelGen.exe of the %s zip: ", view.bits, ZipOf(view.bits));
    if (!view.exists) {
        lines.push_back(head + "none on 32-bit Windows");
        return;
    }
    if (view.key != KeyState::Present) {
        lines.push_back(head + (view.key == KeyState::Missing
                                    ? std::string("key missing")
                                    : Format("key cannot be opened (error %u)", view.keyError)));
        return;
    }
    lines.push_back(head + "key present");
    lines.push_back("    " + PathLine(view));
    const DriverProblem problem = Evaluate(view);
    if (view.hasPath && view.pathIsText && problem != DriverProblem::PathNotText &&
        problem != DriverProblem::PathTooLong)
        lines.push_back("    " + FileLine(view) +
                        (view.resolved.empty() ? "" : ": " + Quoted(view.resolved)));
    lines.push_back(Format("    result for a %d-bit QorvelGen.exe: ", view.bits) +
                    (problem == DriverProblem::None ? "usable" : "not usable: " + Reason(view, problem)));
}

std::string WhatToDo(const DriverView& own, DriverProblem problem, const DriverView& other) {
    const bool otherUsable = Evaluate(other) == DriverProblem::None;
    const std::string useOther =
        Format("use QorvelGen.exe of the %s zip: the %d-bit view holds a driver that it loads.",
               ZipOf(other.bits), other.bits);
    switch (problem) {
    case DriverProblem::None: return "nothing for the driver: start QorvelGen.exe.";
    case DriverProblem::NoView:
    case DriverProblem::NoKey:
        if (otherUsable) return useOther;
        return Format(
            "install the board's driver, or set DeviceName in QorvelGen.cfg to the name it is "
            "registered under (reg query \"HKLM\\SOFTWARE\\Brackwell\\Drivers\\1.0\" /s /reg:%d "
            "lists them).",
            own.bits);
    case DriverProblem::KeyUnreadable:
        return "let the user who runs QorvelGen.exe read the key (regedit, Permissions), or reinstall the "
               "board's driver.";
    case DriverProblem::NoPath:
    case DriverProblem::PathNotText:
    case DriverProblem::PathTooLong:
    case DriverProblem::NoFile:
        return Format(
            "reinstall the board's driver, or set its value path (REG_SZ, the full path of the "
            "driver's DLL, at most %u characters) with regedit.",
            static_cast<unsigned>(MaxDriverPathLength));
    case DriverProblem::FileUnreadable:
        return "let the user who runs QorvelGen.exe read the driver's DLL, or reinstall the board's driver.";
    case DriverProblem::FileTooLarge:
    case DriverProblem::NotPe:
    case DriverProblem::Damaged:
    case DriverProblem::NoFactory:
        return "path does not name the board's driver: reinstall the driver, or set path to its DLL.";
    case DriverProblem::OtherMachine: {
        const int dllBits = PeMachineBits(own.image.machine);
        if (dllBits == 0) return "ask the board's maker for a 32-bit or a 64-bit x86 driver.";
        if (otherUsable) return useOther;
        return Format(
            "this is a %d-bit driver: use QorvelGen.exe of the %s zip, with the driver registered "
            "in the %d-bit view (the driver's installer does that).",
            dllBits, ZipOf(dllBits), dllBits);
    }
    }
    return "";
}

}  // namespace

DriverProblem Evaluate(const DriverView& view) {
    if (!view.exists) return DriverProblem::NoView;
    if (view.key == KeyState::Missing) return DriverProblem::NoKey;
    if (view.key == KeyState::Unreadable) return DriverProblem::KeyUnreadable;
    if (!view.hasPath) return DriverProblem::NoPath;
    if (view.pathType != 1 || !view.pathIsText) return DriverProblem::PathNotText;
    if (view.pathLength > MaxDriverPathLength) return DriverProblem::PathTooLong;
    switch (view.file) {
    case FileState::Missing: return DriverProblem::NoFile;
    case FileState::Unreadable: return DriverProblem::FileUnreadable;
    case FileState::TooLarge: return DriverProblem::FileTooLarge;
    case FileState::Found: break;
    }
    if (view.image.status == PeStatus::NotPe) return DriverProblem::NotPe;
    if (PeMachineBits(view.image.machine) != view.bits) return DriverProblem::OtherMachine;
    if (view.image.status == PeStatus::Damaged) return DriverProblem::Damaged;
    return view.image.exportsName ? DriverProblem::None : DriverProblem::NoFactory;
}

std::vector<std::string> DescribeDriver(const DriverView& own, const DriverView& other) {
    std::vector<std::string> lines;
    lines.push_back(Format("driver: what the %d-bit QorvelGen.exe beside this tool would find", own.bits));
    DescribeView(own, lines);
    DescribeView(other, lines);
    const DriverProblem problem = Evaluate(own);
    if (problem == DriverProblem::None)
        lines.push_back("  verdict: usable: QorvelGen.exe would load " +
                        Quoted(own.resolved.empty() ? own.path : own.resolved) + ".");
    else
        lines.push_back("  verdict: QorvelGen.exe would end at once with exit code -2 and no message: " +
                        Reason(own, problem) + ".");
    lines.push_back("  what to do: " + WhatToDo(own, problem, other));
    return lines;
}

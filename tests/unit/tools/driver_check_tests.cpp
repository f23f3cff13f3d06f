// The driver check of qorvelcfg: reading DLL headers from small crafted
// images, and the verdict each finding leads to.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DriverCheck.h"
#include "PeImage.h"

namespace {

using Image = std::vector<uint8_t>;

void Put16(Image& image, size_t at, uint32_t value) {
    image[at] = static_cast<uint8_t>(value);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(Image& image, size_t at, uint32_t value) {
    Put16(image, at, value & 0xFFFF);
    Put16(image, at + 2, value >> 16);
}

constexpr size_t PeAt = 0x40;
constexpr size_t FileHeaderAt = PeAt + 4;
constexpr size_t OptionalAt = FileHeaderAt + 20;
constexpr uint32_t SectionRva = 0x1000;
constexpr size_t SectionRaw = 0x200;

// A DLL as the linker lays one out: DOS header, PE signature, file and
// optional headers with 16 data directories, one section holding the export
// directory, its name pointer table and the names.
Image MakeDll(uint16_t machine, const std::vector<std::string>& exports, bool withExportTable = true) {
    const bool plus = machine == PeMachineAmd64;
    const size_t optionalSize = plus ? 240 : 224;
    Image image(SectionRaw + 0x200, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, PeAt);
    std::memcpy(&image[PeAt], "PE\0\0", 4);
    Put16(image, FileHeaderAt, machine);
    Put16(image, FileHeaderAt + 2, 1);  // sections
    Put16(image, FileHeaderAt + 16, optionalSize);
    Put16(image, FileHeaderAt + 18, 0x2102);  // executable, DLL
    Put16(image, OptionalAt, plus ? 0x20B : 0x10B);
    const size_t directories = OptionalAt + (plus ? 108 : 92);
    Put32(image, directories, 16);
    if (withExportTable) Put32(image, directories + 4, SectionRva);  // export table at the section's start
    const size_t section = OptionalAt + optionalSize;
    std::memcpy(&image[section], ".edata\0", 8);
    Put32(image, section + 8, 0x200);  // virtual size
    Put32(image, section + 12, SectionRva);
    Put32(image, section + 16, 0x200);  // raw size
    Put32(image, section + 20, SectionRaw);
    Put32(image, SectionRaw + 24, static_cast<uint32_t>(exports.size()));
    Put32(image, SectionRaw + 32, SectionRva + 40);  // the name pointers follow the directory
    size_t name = 40 + 4 * exports.size();
    for (size_t i = 0; i < exports.size(); ++i) {
        Put32(image, SectionRaw + 40 + 4 * i, static_cast<uint32_t>(SectionRva + name));
        std::memcpy(&image[SectionRaw + name], exports[i].c_str(), exports[i].size() + 1);
        name += exports[i].size() + 1;
    }
    return image;
}

PeImage Read(const Image& image) {
    return ReadPeImage(image.data(), image.size(), "StaticFactory");
}

// --------------------------------------------------------- PE headers

struct ImageCase {
    const char* what;
    Image image;
    PeStatus status;
    uint16_t machine;
    bool exportsFactory;
};

void PrintTo(const ImageCase& c, std::ostream* out) {
    *out << c.what;
}

Image Patched(Image image, size_t at, uint32_t value) {
    Put32(image, at, value);
    return image;
}

Image Cut(Image image, size_t size) {
    image.resize(size);
    return image;
}

class Images : public testing::TestWithParam<ImageCase> {};

TEST_P(Images, GiveMachineAndExport) {
    const ImageCase& c = GetParam();
    const PeImage read = Read(c.image);
    EXPECT_EQ(read.status, c.status);
    if (c.status != PeStatus::NotPe) {
        EXPECT_EQ(read.machine, c.machine);
    }
    EXPECT_EQ(read.exportsName, c.exportsFactory);
}

const Image Dll64 = MakeDll(PeMachineAmd64, {"StaticFactory"});
const Image Dll32 = MakeDll(PeMachineI386, {"Create", "StaticFactory", "Zeta"});
// The name pointer table of a DLL with one export sits at the section's
// offset 40; its name at 44.
constexpr size_t FirstNamePointer = SectionRaw + 40;
constexpr size_t Dll64SectionHeader = OptionalAt + 240;

INSTANTIATE_TEST_SUITE_P(
    Table, Images,
    testing::Values(
        ImageCase{"64-bit DLL", Dll64, PeStatus::Read, PeMachineAmd64, true},
        ImageCase{"32-bit DLL, export among others", Dll32, PeStatus::Read, PeMachineI386, true},
        ImageCase{"other exports only", MakeDll(PeMachineI386, {"StaticFactoryX", "Static", "staticfactory"}),
                  PeStatus::Read, PeMachineI386, false},
        ImageCase{"no export table", MakeDll(PeMachineAmd64, {"StaticFactory"}, false), PeStatus::Read,
                  PeMachineAmd64, false},
        ImageCase{"ARM64 DLL", MakeDll(0xAA64, {"StaticFactory"}), PeStatus::Read, 0xAA64, true},
        ImageCase{"empty file", Image{}, PeStatus::NotPe, 0, false},
        ImageCase{"text file", Image{'p', 'a', 't', 'h', '\r', '\n'}, PeStatus::NotPe, 0, false},
        ImageCase{"DOS program, no PE signature", Patched(Dll64, PeAt, 0x00004550 + 1), PeStatus::NotPe, 0,
                  false},
        ImageCase{"PE offset far past the end", Patched(Dll64, 0x3C, 0xFFFFFFF0), PeStatus::NotPe, 0, false},
        ImageCase{"cut inside the optional header", Cut(Dll64, OptionalAt + 8), PeStatus::Damaged,
                  PeMachineAmd64, false},
        ImageCase{"name pointer past the end", Patched(Dll64, FirstNamePointer, 0x7FFFFFF0),
                  PeStatus::Damaged, PeMachineAmd64, false},
        ImageCase{"name pointers past the end", Patched(Dll64, SectionRaw + 24, 0x40000000),
                  PeStatus::Damaged, PeMachineAmd64, false},
        // In memory, what lies past a section's raw data is zeros, not the
        // bytes that follow it in the file.
        ImageCase{"names past the section's raw data", Patched(Dll64, Dll64SectionHeader + 16, 40),
                  PeStatus::Damaged, PeMachineAmd64, false},
        ImageCase{"export table outside every section", Patched(Dll64, OptionalAt + 112, 0x9000),
                  PeStatus::Damaged, PeMachineAmd64, false},
        ImageCase{"too many sections", Patched(Dll64, FileHeaderAt, 0x03E8'8664), PeStatus::Damaged,
                  PeMachineAmd64, false}));

TEST(PeImage, EveryCutOfADllIsReadWithinIt) {
    // Whatever length a copy stopped at, nothing is read past its end (the
    // sanitizer build watches), and the export is found only once its name
    // is there whole.
    const size_t nameEnd = SectionRaw + 44 + sizeof "StaticFactory";
    for (size_t size = 0; size <= Dll64.size(); ++size) {
        const Image cut(Dll64.begin(), Dll64.begin() + static_cast<std::ptrdiff_t>(size));
        const PeImage read = ReadPeImage(cut.data(), cut.size(), "StaticFactory");
        EXPECT_EQ(read.exportsName, size >= nameEnd) << size;
    }
}

TEST(PeImage, MachineBits) {
    EXPECT_EQ(PeMachineBits(PeMachineI386), 32);
    EXPECT_EQ(PeMachineBits(PeMachineAmd64), 64);
    EXPECT_EQ(PeMachineBits(0xAA64), 0);
}

// ------------------------------------------------------------ verdicts

DriverView Usable(int bits) {
    DriverView view;
    view.bits = bits;
    view.key = KeyState::Present;
    view.hasPath = true;
    view.pathType = 1;
    view.pathIsText = true;
    view.path = "C:\\Драйверы\\board.dll";
    view.pathLength = 20;
    view.file = FileState::Found;
    view.image = Read(bits == 64 ? Dll64 : Dll32);
    return view;
}

DriverView Missing(int bits) {
    DriverView view;
    view.bits = bits;
    return view;
}

struct VerdictCase {
    const char* what;
    DriverView own;
    DriverView other;
    DriverProblem problem;
    const char* verdict;   // the verdict line holds this
    const char* whatToDo;  // the what-to-do line holds this
};

void PrintTo(const VerdictCase& c, std::ostream* out) {
    *out << c.what;
}

template <typename Change>
DriverView With(DriverView view, Change change) {
    change(view);
    return view;
}

std::string LineStarting(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& line : lines)
        if (line.rfind(start, 0) == 0) return line;
    return "(no line starting " + start + ")";
}

class Verdicts : public testing::TestWithParam<VerdictCase> {};

TEST_P(Verdicts, SayWhyAndWhatToDo) {
    const VerdictCase& c = GetParam();
    EXPECT_EQ(Evaluate(c.own), c.problem);
    const std::vector<std::string> lines = DescribeDriver(c.own, c.other);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("driver: ", 0), 0u);
    const std::string verdict = LineStarting(lines, "  verdict: ");
    const std::string whatToDo = LineStarting(lines, "  what to do: ");
    EXPECT_NE(verdict.find(c.verdict), std::string::npos) << verdict;
    EXPECT_NE(whatToDo.find(c.whatToDo), std::string::npos) << whatToDo;
    EXPECT_EQ(lines.back(), whatToDo);
}

const char* const ExitsSilently = "would end at once with exit code -2 and no message: ";

INSTANTIATE_TEST_SUITE_P(
    Table, Verdicts,
    testing::Values(
        VerdictCase{"right DLL", Usable(64), Missing(32), DriverProblem::None,
                    "usable: QorvelGen.exe would load \"C:\\Драйверы\\board.dll\"", "nothing for the driver"},
        VerdictCase{"no key, nothing in the other view", Missing(64), Missing(32), DriverProblem::NoKey,
                    "no key", "/s /reg:64 lists them"},
        VerdictCase{"no key here, a usable driver in the other view", Missing(64), Usable(32),
                    DriverProblem::NoKey, "no key", "use QorvelGen.exe of the win32 zip"},
        VerdictCase{"no 64-bit view on 32-bit Windows", Missing(32),
                    With(Missing(64), [](DriverView& v) { v.exists = false; }), DriverProblem::NoKey,
                    "no key", "/s /reg:32 lists them"},
        VerdictCase{"key cannot be opened",
                    With(Missing(32),
                         [](DriverView& v) {
                             v.key = KeyState::Unreadable;
                             v.keyError = 5;
                         }),
                    Missing(64), DriverProblem::KeyUnreadable, "cannot be opened (error 5)", "Permissions"},
        VerdictCase{"key without path", With(Usable(64), [](DriverView& v) { v.hasPath = false; }),
                    Missing(32), DriverProblem::NoPath, "the key has no value path", "REG_SZ, the full path"},
        VerdictCase{"path of REG_EXPAND_SZ", With(Usable(64), [](DriverView& v) { v.pathType = 2; }),
                    Missing(32), DriverProblem::PathNotText, "path is REG_EXPAND_SZ, not REG_SZ", "regedit"},
        VerdictCase{"path of REG_DWORD",
                    With(Usable(64),
                         [](DriverView& v) {
                             v.pathType = 4;
                             v.pathIsText = false;
                         }),
                    Missing(32), DriverProblem::PathNotText, "path is REG_DWORD, not REG_SZ", "regedit"},
        VerdictCase{"path of 256 characters", With(Usable(64), [](DriverView& v) { v.pathLength = 256; }),
                    Missing(32), DriverProblem::PathTooLong, "longer than 255 characters", "at most 255"},
        VerdictCase{"file missing", With(Usable(32), [](DriverView& v) { v.file = FileState::Missing; }),
                    Missing(64), DriverProblem::NoFile, "the file that path names does not exist",
                    "reinstall the board's driver"},
        VerdictCase{"file unreadable",
                    With(Usable(32),
                         [](DriverView& v) {
                             v.file = FileState::Unreadable;
                             v.fileError = 32;
                         }),
                    Missing(64), DriverProblem::FileUnreadable, "cannot be read (error 32)",
                    "read the driver's DLL"},
        VerdictCase{"not a DLL", With(Usable(64), [](DriverView& v) { v.image = Read(Image{'x'}); }),
                    Missing(32), DriverProblem::NotPe, "not a DLL", "does not name the board's driver"},
        VerdictCase{"32-bit DLL for a 64-bit program",
                    With(Usable(64), [](DriverView& v) { v.image = Read(Dll32); }), Missing(32),
                    DriverProblem::OtherMachine, "a 64-bit program cannot load a 32-bit DLL",
                    "this is a 32-bit driver: use QorvelGen.exe of the win32 zip"},
        VerdictCase{"64-bit DLL for a 32-bit program, usable in the other view",
                    With(Usable(32), [](DriverView& v) { v.image = Read(Dll64); }), Usable(64),
                    DriverProblem::OtherMachine, "a 32-bit program cannot load a 64-bit DLL",
                    "use QorvelGen.exe of the win64 zip: the 64-bit view holds a driver that it loads"},
        VerdictCase{"ARM64 DLL", With(Usable(64), [](DriverView& v) { v.image = Read(MakeDll(0xAA64, {})); }),
                    Missing(32), DriverProblem::OtherMachine, "machine 0xAA64, which no QorvelGen.exe loads",
                    "32-bit or a 64-bit x86 driver"},
        VerdictCase{
            "DLL without StaticFactory",
            With(Usable(64), [](DriverView& v) { v.image = Read(MakeDll(PeMachineAmd64, {"Other"})); }),
            Missing(32), DriverProblem::NoFactory, "does not export StaticFactory",
            "does not name the board's driver"},
        VerdictCase{"damaged 32-bit DLL",
                    With(Usable(32), [](DriverView& v) { v.image = Read(Cut(Dll32, OptionalAt + 8)); }),
                    Missing(64), DriverProblem::Damaged, "headers are damaged", "reinstall the driver"}));

TEST(Verdicts, AFailedViewSaysTheProgramEndsSilently) {
    const std::vector<std::string> lines = DescribeDriver(Missing(64), Missing(32));
    EXPECT_NE(LineStarting(lines, "  verdict: ").find(ExitsSilently), std::string::npos);
}

TEST(Verdicts, EachViewIsJudgedForItsOwnPrograms) {
    // A 32-bit DLL in both views: not for the 64-bit program, right for the
    // 32-bit one, whose zip the advice names.
    const DriverView own = With(Usable(64), [](DriverView& v) { v.image = Read(Dll32); });
    const std::vector<std::string> lines = DescribeDriver(own, Usable(32));
    EXPECT_EQ(LineStarting(lines, "  64-bit view"),
              "  64-bit view, read by QorvelGen.exe of the win64 zip: key present");
    EXPECT_EQ(LineStarting(lines, "  32-bit view"),
              "  32-bit view, read by QorvelGen.exe of the win32 zip: key present");
    std::vector<std::string> results;
    for (const std::string& line : lines)
        if (line.rfind("    result", 0) == 0) results.push_back(line);
    EXPECT_EQ(
        results,
        (std::vector<std::string>{
            "    result for a 64-bit QorvelGen.exe: not usable: a 64-bit program cannot load a 32-bit DLL",
            "    result for a 32-bit QorvelGen.exe: usable"}));
    EXPECT_NE(LineStarting(lines, "  what to do: ").find("win32 zip"), std::string::npos);
}

}  // namespace

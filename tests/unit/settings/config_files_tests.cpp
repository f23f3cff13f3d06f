// The configuration and saved-state files: start values, reader defaults and
// clamps with the file missing, empty, keyless and out of range; the written
// file's exact bytes, its read-back, its replacement in one step, and the
// rewrite in place when that replacement fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <string>

#include "TempDir.h"
#include "settings/ConfigFiles.h"
#include "settings/FileAccess.h"

namespace {

using namespace std::string_literals;

// Restores the current directory, which WriteSavedState changes.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard() : saved(std::filesystem::current_path()) {}
    ~CurrentDirectoryGuard() { std::filesystem::current_path(saved); }

private:
    std::filesystem::path saved;
};

class SettingsFiles : public testing::Test {
protected:
    std::string Put(const char* name, std::string_view text) {
        const std::string path = directory.File(name);
        WriteBytes(path, text);
        return path;
    }

    TempDir directory;  // destroyed last
    CurrentDirectoryGuard currentDirectory;
};

// ------------------------------------------------------------ saved state

struct SavedCase {
    const char* what;
    const char* text;  // null: no file
    int32_t FreqIndex, AmplitudeIndex1, AmplitudeIndex2, ModeIndex1, ModeIndex2;
};

void PrintTo(const SavedCase& c, std::ostream* out) {
    *out << c.what;
}

class SavedStateFile : public SettingsFiles, public testing::WithParamInterface<SavedCase> {};

TEST_P(SavedStateFile, ReadsDefaultsAndClamps) {
    const SavedCase& c = GetParam();
    const std::string name =
        c.text != nullptr ? Put("QorvelGen.sav", c.text) : directory.File("QorvelGen.sav");
    SavedState state;
    ReadSavedState(state, name.c_str());
    EXPECT_EQ(state.FreqIndex, c.FreqIndex) << c.what;
    EXPECT_EQ(state.AmplitudeIndex1, c.AmplitudeIndex1) << c.what;
    EXPECT_EQ(state.AmplitudeIndex2, c.AmplitudeIndex2) << c.what;
    EXPECT_EQ(state.ModeIndex1, c.ModeIndex1) << c.what;
    EXPECT_EQ(state.ModeIndex2, c.ModeIndex2) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SavedStateFile,
    testing::Values(SavedCase{"missing", nullptr, 1000, 0, 0, 0, 0}, SavedCase{"empty", "", 1000, 0, 0, 0, 0},
                    SavedCase{"keyless", "something else\n", 1, 16384, 16384, 0, 0},
                    SavedCase{"not numbers", "FreqIndex = x\nAmplitudeIndex1 = y\nModeIndex1 = z\n", 1, 16384,
                              16384, 0, 0},
                    SavedCase{"in range",
                              "FreqIndex = 2000\nAmplitudeIndex1 = 100\nAmplitudeIndex2 = 200\n"
                              "ModeIndex1 = 3\nModeIndex2 = 19\n",
                              2000, 100, 200, 3, 19},
                    SavedCase{"low bounds",
                              "FreqIndex = 0\nAmplitudeIndex1 = -5\nAmplitudeIndex2 = -1\n"
                              "ModeIndex1 = -1\nModeIndex2 = -100\n",
                              1, 0, 0, 0, 0},
                    SavedCase{"high bounds",
                              "FreqIndex = 60000\nAmplitudeIndex1 = 0x8000\n"
                              "AmplitudeIndex2 = 1M\nModeIndex1 = 25\nModeIndex2 = 20\n",
                              50000, 32767, 32767, 19, 19},
                    SavedCase{"suffixes", "FreqIndex = 50K\n", 50000, 16384, 16384, 0, 0},
                    SavedCase{"floating form", "FreqIndex = 1.5K\nAmplitudeIndex1 = 99.5\n", 1536, 100, 16384,
                              0, 0}));

TEST_F(SettingsFiles, SavedStateClampsAlsoWithoutAFile) {
    SavedState state;
    state.FreqIndex = 0;
    state.AmplitudeIndex1 = 40000;
    state.AmplitudeIndex2 = -1;
    state.ModeIndex1 = 20;
    state.ModeIndex2 = -1;
    ReadSavedState(state, directory.File("none.sav").c_str());
    EXPECT_EQ(state.FreqIndex, 1);
    EXPECT_EQ(state.AmplitudeIndex1, 32767);
    EXPECT_EQ(state.AmplitudeIndex2, 0);
    EXPECT_EQ(state.ModeIndex1, 19);
    EXPECT_EQ(state.ModeIndex2, 0);
}

// ----------------------------------------------------------- configuration

struct ConfigCase {
    const char* what;
    const char* text;  // null: no file
    int32_t Device, HelpPreDelay, HelpPostDelay;
};

void PrintTo(const ConfigCase& c, std::ostream* out) {
    *out << c.what;
}

class ConfigurationFile : public SettingsFiles, public testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigurationFile, ReadsDefaultsAndClamps) {
    const ConfigCase& c = GetParam();
    const std::string name =
        c.text != nullptr ? Put("QorvelGen.cfg", c.text) : directory.File("QorvelGen.cfg");
    // The clamps hold with and without a FreqSIN line (a missing or empty
    // file stays as it is).
    const bool hasText = c.text != nullptr && c.text[0] != '\0';
    for (const char* tail : {"", "\nFreqSIN = 1 2\n"}) {
        if (!hasText && tail[0] != '\0') break;
        if (hasText) WriteBytes(name, c.text + std::string(tail));
        Configuration state;
        // Values a missing file keeps and a keyless one replaces by the defaults.
        state.Device = 7;
        state.HelpPreDelay = 70000;
        state.HelpPostDelay = 7;
        ReadConfiguration(state, name.c_str());
        EXPECT_EQ(state.Device, c.Device) << c.what << tail;
        EXPECT_EQ(state.HelpPreDelay, c.HelpPreDelay) << c.what << tail;
        EXPECT_EQ(state.HelpPostDelay, c.HelpPostDelay) << c.what << tail;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigurationFile,
    testing::Values(ConfigCase{"missing: kept and clamped", nullptr, 7, 60000, 500},
                    ConfigCase{"empty: kept and clamped", "", 7, 60000, 500},
                    ConfigCase{"keyless: defaults", "nothing here", 1, 10000, 4000},
                    ConfigCase{"in range", "Device = 3\nHelpPreDelay = 0\nHelpPostDelay = 500", 3, 0, 500},
                    ConfigCase{"low bounds", "Device = 0\nHelpPreDelay = -1\nHelpPostDelay = 100", 1, 0, 500},
                    ConfigCase{"high bounds", "Device = 300\nHelpPreDelay = 60001\nHelpPostDelay = 1M", 255,
                               60000, 60000}));

struct DeviceNameCase {
    const char* what;
    std::string text;
    std::string expected;
};

void PrintTo(const DeviceNameCase& c, std::ostream* out) {
    *out << c.what;
}

class DeviceName : public SettingsFiles, public testing::WithParamInterface<DeviceNameCase> {};

TEST_P(DeviceName, IsReadFoldedOrRaw) {
    const std::string name = Put("QorvelGen.cfg", GetParam().text);
    Configuration state;
    std::memset(state.DeviceName + 8, '#', sizeof state.DeviceName - 8);  // past "QorvelE"
    ReadConfiguration(state, name.c_str());
    EXPECT_EQ(std::string(state.DeviceName), GetParam().expected) << GetParam().what;
    EXPECT_EQ(state.DeviceName[99], '#') << "the last byte is never written";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceName,
    testing::Values(
        DeviceNameCase{"missing keeps the start value", "Device = 2", "QorvelE"},
        DeviceNameCase{"unquoted", "DeviceName = my-dev.1_a+b,c(d)e\tf: g", "MY-DEV.1_A+B C D E F"},
        DeviceNameCase{"semicolon ends it", "DeviceName = a;b", "A"},
        DeviceNameCase{"quoted", "DeviceName = \"My dev: (1)\"", "My dev: (1)"},
        DeviceNameCase{"quoted empty", "DeviceName = \"\"", ""},
        DeviceNameCase{"cut to 98", "DeviceName = " + std::string(120, 'x'), std::string(98, 'X')},
        // "Плата" as Notepad saves it: UTF-8 with and without the byte-order
        // mark, and in 1251 ("ANSI"); all three read as its 1251 bytes.
        DeviceNameCase{"UTF-8 with its mark",
                       "\xEF\xBB\xBF"
                       "DeviceName = \"\xD0\x9F\xD0\xBB\xD0\xB0\xD1\x82\xD0\xB0\"",
                       "\xCF\xEB\xE0\xF2\xE0"},
        DeviceNameCase{"UTF-8 without a mark",
                       "DeviceName = \"\xD0\x9F\xD0\xBB\xD0\xB0\xD1\x82\xD0\xB0 \xE2\x84\x96\xE2\x82\xAC\"",
                       "\xCF\xEB\xE0\xF2\xE0 \xB9\x88"},
        DeviceNameCase{"1251 as it stands", "DeviceName = \"\xCF\xEB\xE0\xF2\xE0\"", "\xCF\xEB\xE0\xF2\xE0"},
        // Valid UTF-8 whose characters 1251 lacks: each one a "?".
        DeviceNameCase{"UTF-8 beyond 1251", "DeviceName = \"\xCE\xA9\xF0\x9F\x98\x80x\"", "??x"},
        // One stray byte above 0x7F makes it no UTF-8: read byte for byte.
        DeviceNameCase{"not UTF-8", "DeviceName = \"\xD0\x9F\xFF\"", "\xD0\x9F\xFF"}));

TEST_F(SettingsFiles, RangesAndFreqSinList) {
    const std::string name = Put("QorvelGen.cfg", "ADCRange = 0\nDACRange = 2.5\nFreqSIN = 1 2 3.5 x 4\n");
    Configuration state;
    ReadConfiguration(state, name.c_str());
    EXPECT_EQ(state.ADCRange, 0.0);
    EXPECT_EQ(state.DACRange, 2.5);
    ASSERT_EQ(state.FreqSINCount, 3);
    ASSERT_NE(state.FreqSIN, nullptr);
    EXPECT_EQ(state.FreqSIN[0], 1.0);
    EXPECT_EQ(state.FreqSIN[1], 2.0);
    EXPECT_EQ(state.FreqSIN[2], 3.5);

    // Reading again first empties the list; a non-number gives none.
    WriteBytes(name, "FreqSIN = x 1 2\nADCRange = 5\n");
    ReadConfiguration(state, name.c_str());
    EXPECT_EQ(state.FreqSINCount, 0);
    EXPECT_EQ(state.FreqSIN, nullptr);
    EXPECT_EQ(state.ADCRange, 5.0);
    EXPECT_EQ(state.DACRange, 2.5) << "a missing DACRange keeps what was there";
}

TEST_F(SettingsFiles, AMissingConfigurationEmptiesTheList) {
    Configuration state;
    state.FreqSIN = std::make_unique<double[]>(2);
    state.FreqSINCount = 2;
    ReadConfiguration(state, directory.File("none.cfg").c_str());
    EXPECT_EQ(state.FreqSINCount, 0);
    EXPECT_EQ(state.FreqSIN, nullptr);
    EXPECT_STREQ(state.DeviceName, "QorvelE");
    EXPECT_EQ(state.ADCRange, 0.0);
}

// ---------------------------------------------------------------- writing

SavedState StateInto(const TempDir& directory) {
    SavedState state;
    const std::string path = directory.Path().string();
    EXPECT_LT(path.size(), sizeof state.workingDirectory);
    std::strncpy(state.workingDirectory, path.c_str(), sizeof state.workingDirectory - 1);
    state.FreqIndex = 2500;
    state.AmplitudeIndex1 = 32767;
    state.AmplitudeIndex2 = 0;
    state.ModeIndex1 = 19;
    state.ModeIndex2 = -7;  // the writer does not clamp
    return state;
}

const std::string ExpectedSaved =
    "FreqIndex       = 2500\r\n"
    "AmplitudeIndex1 = 32767\r\n"
    "AmplitudeIndex2 = 0\r\n"
    "ModeIndex1      = 19\r\n"
    "ModeIndex2      = -7\r\n";

TEST_F(SettingsFiles, WritesFiveLinesIntoTheWorkingDirectory) {
    TempDir elsewhere;
    std::filesystem::current_path(elsewhere.Path());
    WriteSavedState(StateInto(directory), "QorvelGen.sav");
    EXPECT_EQ(ReadBytes(directory.File("QorvelGen.sav")), ExpectedSaved);
    EXPECT_EQ(ReadBytes(elsewhere.File("QorvelGen.sav")), "<missing>");
    EXPECT_EQ(ReadBytes(directory.File("QorvelGen.sav.tmp")), "<missing>");
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), directory.Path()));
}

TEST_F(SettingsFiles, TheDirectorysOwnNameWinsOverTheNarrowOne) {
    // A name no single code page spells: the narrow field holds it as a
    // system that cannot spell it does, with a "?" for each such letter.
    const std::filesystem::path folder = directory.Path() / u8"Измерения Ωμέγα";
    std::filesystem::create_directory(folder);
    SavedState state = StateInto(directory);
    std::strncpy(state.workingDirectory, (directory.Path() / "????????? ?????").string().c_str(),
                 sizeof state.workingDirectory - 1);
    const auto& name = folder.native();
    state.workingDirectoryName = std::make_unique<PathChar[]>(name.size() + 1);
    std::copy(name.begin(), name.end(), state.workingDirectoryName.get());
    WriteSavedState(state, "QorvelGen.sav");
    // Read by its path, not by a narrow name (which on Windows is the code page's).
    std::ifstream written(folder / "QorvelGen.sav", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), ExpectedSaved);
    EXPECT_EQ(ReadBytes(directory.File("QorvelGen.sav")), "<missing>");
}

TEST_F(SettingsFiles, TheWrittenFileReadsBack) {
    Put("QorvelGen.sav", "an older, longer file that the new one replaces entirely\n");
    SavedState written = StateInto(directory);
    written.ModeIndex2 = 4;
    WriteSavedState(written, "QorvelGen.sav");
    SavedState read;
    ReadSavedState(read, directory.File("QorvelGen.sav").c_str());
    EXPECT_EQ(read.FreqIndex, 2500);
    EXPECT_EQ(read.AmplitudeIndex1, 32767);
    EXPECT_EQ(read.AmplitudeIndex2, 0);
    EXPECT_EQ(read.ModeIndex1, 19);
    EXPECT_EQ(read.ModeIndex2, 4);
}

TEST_F(SettingsFiles, ExtremeValuesAreWrittenWhole) {
    SavedState state = StateInto(directory);
    state.FreqIndex = -2147483647 - 1;
    state.AmplitudeIndex1 = 2147483647;
    WriteSavedState(state, "QorvelGen.sav");
    const std::string bytes = ReadBytes(directory.File("QorvelGen.sav"));
    const std::string expected = "FreqIndex       = -2147483648\r\nAmplitudeIndex1 = 2147483647\r\n";
    EXPECT_EQ(bytes.substr(0, expected.size()), expected);
}

TEST_F(SettingsFiles, WithoutATemporaryTheFileIsRewrittenInPlace) {
    // A directory where the temporary file would go makes its creation fail,
    // as a directory in which no file can be created does.
    std::filesystem::create_directory(directory.Path() / "QorvelGen.sav.tmp");
    for (const char* old : std::initializer_list<const char*>{"FreqIndex = 77\r\n", nullptr}) {
        SCOPED_TRACE(old ? "over an old file" : "without one");
        if (old)
            Put("QorvelGen.sav", old);
        else
            std::filesystem::remove(directory.Path() / "QorvelGen.sav");
        WriteSavedState(StateInto(directory), "QorvelGen.sav");
        EXPECT_EQ(ReadBytes(directory.File("QorvelGen.sav")), ExpectedSaved);
        EXPECT_TRUE(std::filesystem::is_empty(directory.Path() / "QorvelGen.sav.tmp"));
    }
}

TEST_F(SettingsFiles, WhenNeitherWayWorksNothingChanges) {
    // Neither a temporary nor the file itself can be opened for writing.
    std::filesystem::create_directory(directory.Path() / "QorvelGen.sav.tmp");
    std::filesystem::create_directories(directory.Path() / "QorvelGen.sav" / "inside");
    WriteSavedState(StateInto(directory), "QorvelGen.sav");
    EXPECT_TRUE(std::filesystem::is_directory(directory.Path() / "QorvelGen.sav" / "inside"));
    EXPECT_TRUE(std::filesystem::is_empty(directory.Path() / "QorvelGen.sav.tmp"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.Path()),
                            std::filesystem::directory_iterator()),
              2);
}

TEST_F(SettingsFiles, TheTemporaryIsRemovedWhenTheMoveFails) {
    // A non-empty directory in the file's place cannot be replaced.
    std::filesystem::create_directories(directory.Path() / "QorvelGen.sav" / "inside");
    WriteSavedState(StateInto(directory), "QorvelGen.sav");
    EXPECT_TRUE(std::filesystem::is_directory(directory.Path() / "QorvelGen.sav" / "inside"));
    EXPECT_FALSE(std::filesystem::exists(directory.Path() / "QorvelGen.sav.tmp"));
}

#ifndef _WIN32
TEST_F(SettingsFiles, AFailingWriteOfTheTemporaryFallsBackToTheRewrite) {
    const std::string old = Put("QorvelGen.sav", "FreqIndex = 77\r\n");
    // The temporary is opened through a link to a device that refuses every
    // write (no space left), as a full disk would; the old file itself still
    // takes the lines.
    std::filesystem::create_symlink("/dev/full", directory.Path() / "QorvelGen.sav.tmp");
    WriteSavedState(StateInto(directory), "QorvelGen.sav");
    EXPECT_EQ(ReadBytes(old), ExpectedSaved);
    EXPECT_FALSE(std::filesystem::is_symlink(directory.Path() / "QorvelGen.sav.tmp"));
}
#endif

TEST_F(SettingsFiles, WriteLineIsBoundedTo255Bytes) {
    const std::string name = directory.File("line.txt");
    {
        OutputFile file(name.c_str());
        ASSERT_TRUE(file.IsOpen());
        EXPECT_TRUE(WriteLine(file, "%s|%d\r\n", std::string(300, 'a').c_str(), 5));
        EXPECT_TRUE(WriteLine(file, "ModeIndex1      = %d\r\n", 3));
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(ReadBytes(name), std::string(255, 'a') + "ModeIndex1      = 3\r\n");
}

TEST_F(SettingsFiles, WriteLineReportsAFileThatIsNotOpen) {
    OutputFile file(directory.File("no/such/dir/line.txt").c_str());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(WriteLine(file, "x\r\n"));
    EXPECT_FALSE(file.Commit());
}

}  // namespace

// Runs the built qorvelcfg on settings files and checks what it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TempDir.h"

namespace {

Outcome RunTool(const std::vector<std::string>& arguments) {
    return RunProgram(QORVELCFG_PATH, arguments);
}

// One lookup on a file holding text.
Outcome Get(const std::string& text, const std::vector<std::string>& lookup) {
    TempDir directory;
    const std::string file = directory.File("lookup.cfg");
    WriteBytes(file, text);
    std::vector<std::string> arguments = {"get", file};
    arguments.insert(arguments.end(), lookup.begin(), lookup.end());
    return RunTool(arguments);
}

// ------------------------------------------------------------ the tokens

struct TokenCase {
    const char* token;
    const char* asInt;     // the output of --int
    const char* asDouble;  // the output of --double
};

void PrintTo(const TokenCase& c, std::ostream* out) {
    *out << c.token;
}

class Tokens : public testing::TestWithParam<TokenCase> {};

TEST_P(Tokens, PrintsTheResultAndTheValue) {
    const TokenCase& c = GetParam();
    const std::string text = std::string("V = ") + c.token + "\n";
    const Outcome asInt = Get(text, {"V", "--int"});
    EXPECT_EQ(asInt.exitCode, 0);
    EXPECT_EQ(asInt.out, c.asInt) << c.token;
    const Outcome asDouble = Get(text, {"V", "--double"});
    EXPECT_EQ(asDouble.exitCode, 0);
    EXPECT_EQ(asDouble.out, c.asDouble) << c.token;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Tokens,
    testing::Values(TokenCase{"0x1F", "1\n31\n", "1\n31\n"}, TokenCase{"0X", "1\n0\n", "1\n0\n"},
                    TokenCase{"12K", "1\n12288\n", "1\n12288\n"},
                    TokenCase{"2M", "1\n2097152\n", "1\n2097152\n"},
                    TokenCase{"1.5K", "1\n1536\n", "1\n1536\n"}, TokenCase{"2.5", "1\n3\n", "1\n2.5\n"},
                    TokenCase{"-2.5", "1\n-2\n", "1\n-2.5\n"}, TokenCase{"1D3", "1\n1000\n", "1\n1000\n"},
                    TokenCase{"1E5-3", "1\n100000\n", "1\n100000\n"}, TokenCase{"+", "1\n0\n", "1\n0\n"},
                    TokenCase{"4294967297", "1\n1\n", "1\n4294967297\n"},
                    TokenCase{"0xFFFFFFFF", "1\n-1\n", "1\n4294967295\n"},
                    TokenCase{"0.1", "1\n0\n", "1\n0.10000000000000001\n"},
                    TokenCase{"1.2.3", "0\n0\n", "0\n0\n"}, TokenCase{"12K5", "0\n0\n", "0\n0\n"},
                    TokenCase{"-0x10", "0\n0\n", "0\n0\n"}));

// ----------------------------------------------------------- the lookups

struct LookupCase {
    const char* what;
    std::string text;
    std::vector<std::string> lookup;
    const char* expected;
};

void PrintTo(const LookupCase& c, std::ostream* out) {
    *out << c.what;
}

class Lookups : public testing::TestWithParam<LookupCase> {};

TEST_P(Lookups, PrintTheResultAndTheValues) {
    const LookupCase& c = GetParam();
    const Outcome outcome = Get(c.text, c.lookup);
    EXPECT_EQ(outcome.exitCode, 0) << c.what;
    EXPECT_EQ(outcome.out, c.expected) << c.what;
    EXPECT_EQ(outcome.err, "") << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Lookups,
    testing::Values(
        LookupCase{"folded string", "devicename = abc-1", {"DeviceName", "--string"}, "1\nABC-1\n"},
        LookupCase{"quoted string", "DeviceName = \"Abc/1\"", {"DeviceName", "--string"}, "1\nAbc/1\n"},
        LookupCase{"colon comment", "Device: 5", {"Device", "--int", "--default", "1"}, "0\n1\n"},
        LookupCase{"commented out", "; Device = 7", {"Device", "--int", "--default", "1"}, "0\n1\n"},
        LookupCase{"spaces in the text", "Device Name = 5", {"DeviceName", "--int"}, "1\n5\n"},
        LookupCase{"key before a blank", "Device Name = 5", {"Device", "--int", "--default", "9"}, "0\n9\n"},
        LookupCase{"key before a letter", "DeviceName = 5", {"Device", "--int", "--default", "9"}, "0\n9\n"},
        LookupCase{"joined string",
                   "DeviceName = a/b\nDevice = 3",
                   {"DeviceName", "--string"},
                   "1\nA B DEVICE   3\n"},
        LookupCase{"joined int", "DeviceName = a/b\nDevice = 3", {"Device", "--int"}, "1\n3\n"},
        LookupCase{"two slashes", "Path = a/b/c\nDevice = 3", {"Device", "--int"}, "1\n3\n"},
        LookupCase{"count", "FreqSIN = 1 2 x 3", {"FreqSIN", "--count"}, "2\n"},
        LookupCase{"list", "FreqSIN = 1 2.5 x 3", {"FreqSIN", "--list"}, "2\n1\n2.5\n"},
        LookupCase{"list maximum", "FreqSIN = 1 2 3", {"FreqSIN", "--list", "--max", "2"}, "2\n1\n2\n"},
        LookupCase{"list maximum 0", "FreqSIN = 1 2 3", {"FreqSIN", "--list", "--max", "0"}, "0\n"},
        LookupCase{"string size 1", "DeviceName = x", {"DeviceName", "--string", "--size", "1"}, "1\n\n"},
        LookupCase{
            "string default", "Other = x", {"DeviceName", "--string", "--default", "dflt"}, "0\ndflt\n"},
        LookupCase{"string default cut",
                   "Other = x",
                   {"DeviceName", "--string", "--default", "dflt", "--size", "3"},
                   "0\ndf\n"},
        LookupCase{"double default", "Other = x", {"R", "--double", "--default", "0.25"}, "0\n0.25\n"},
        LookupCase{"line iteration", "\n  \nfirst line\nsecond", {"", "--string"}, "1\nFIRST LINE\n"},
        LookupCase{"too large", std::string(131073, ' '), {"V", "--int"}, "-1\n0\n"},
        LookupCase{"largest", std::string(131069, ' ') + "V 5", {"V", "--int"}, "1\n5\n"}));

TEST(Qorvelcfg, AMissingFileIsNotLoaded) {
    TempDir directory;
    const Outcome outcome =
        RunTool({"get", directory.File("missing.cfg"), "Device", "--int", "--default", "4"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "-1\n0\n");
    const Outcome list = RunTool({"get", directory.File("missing.cfg"), "FreqSIN", "--list"});
    EXPECT_EQ(list.out, "-1\n");
}

TEST(Qorvelcfg, BadArgumentsPrintTheUsageAndExitWith2) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"show", "a", "b"},
        {"get", "file", "key"},
        {"get", "file", "key", "--bogus"},
        {"get", "file", "key", "--int", "--double"},
        {"get", "file", "key", "--count", "--default", "3"},
        {"get", "file", "key", "--int", "--size", "3"},
        {"get", "file", "key", "--string", "--max", "3"},
        {"get", "file", "key", "--string", "--size", "-1"},
        {"get", "file", "key", "--list", "--max", "x"},
        {"get", "file", "key", "--int", "--default"},
        {"get", "file", "key", "--int", "--default", "12x"},
        {"get", "file", "key", "--int", "--default", "3000000000"},
        {"get", "file", "key", "--double", "--default", "abc"},
    };
    for (const auto& arguments : cases) {
        const Outcome outcome = RunTool(arguments);
        std::string shown;
        for (const auto& argument : arguments) shown += argument + " ";
        EXPECT_EQ(outcome.exitCode, 2) << shown;
        EXPECT_EQ(outcome.out, "") << shown;
        EXPECT_EQ(outcome.err.rfind("usage: qorvelcfg", 0), 0u) << shown;
    }
}

TEST(Qorvelcfg, HelpDescribesTheOutput) {
    const Outcome outcome = RunTool({"--help"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.out.find("usage: qorvelcfg"), std::string::npos);
    EXPECT_NE(outcome.out.find("line 1  the result"), std::string::npos);
}

TEST(Qorvelcfg, ShowPrintsWhatTheProgramWouldRead) {
    TempDir directory;
    WriteBytes(directory.File("QorvelGen.cfg"),
               "DeviceName = \"Board 7\"\nDevice = 300\nHelpPreDelay = -1\nFreqSIN = 1 0.5\n");
    WriteBytes(directory.File("QorvelGen.sav"), "FreqIndex = 50K\nModeIndex1 = 25\n");
    const std::string dir = directory.Path().string();
    const Outcome outcome = RunTool({"show", dir});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out,
              dir +
                  "/QorvelGen.cfg: loaded\n"
                  "  DeviceName      = Board 7\n"
                  "  Device          = 255\n"
                  "  HelpPreDelay    = 0\n"
                  "  HelpPostDelay   = 4000\n"
                  "  ADCRange        = 0\n"
                  "  DACRange        = 0\n"
                  "  FreqSINCount    = 2\n"
                  "  FreqSIN         = 1 0.5\n" +
                  dir +
                  "/QorvelGen.sav: loaded\n"
                  "  FreqIndex       = 50000\n"
                  "  AmplitudeIndex1 = 16384\n"
                  "  AmplitudeIndex2 = 16384\n"
                  "  ModeIndex1      = 19\n"
                  "  ModeIndex2      = 0\n"
                  "registry key: HKEY_LOCAL_MACHINE\\SOFTWARE\\Brackwell\\Drivers\\1.0\\Board 7\n"
                  "driver: not checked: there is no registry on this system\n");
}

TEST(Qorvelcfg, ShowWithoutFilesGivesTheStartValues) {
    TempDir directory;
    const Outcome outcome = RunTool({"show", directory.Path().string() + "/"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.out.find("QorvelGen.cfg: not loaded\n  DeviceName      = QorvelE\n"),
              std::string::npos);
    EXPECT_NE(outcome.out.find("  FreqIndex       = 1000\n  AmplitudeIndex1 = 0\n"), std::string::npos);
    EXPECT_NE(outcome.out.find("\\1.0\\QorvelE\n"), std::string::npos);
}

TEST(Qorvelcfg, AnEmptyDeviceNameGivesNoTrailingBackslash) {
    TempDir directory;
    WriteBytes(directory.File("QorvelGen.cfg"), "DeviceName = \"\"\n");
    const Outcome outcome = RunTool({"show", directory.Path().string()});
    EXPECT_NE(outcome.out.find("registry key: HKEY_LOCAL_MACHINE\\SOFTWARE\\Brackwell\\Drivers\\1.0\n"),
              std::string::npos)
        << outcome.out;
}

}  // namespace

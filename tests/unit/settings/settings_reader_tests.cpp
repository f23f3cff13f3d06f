// The settings reader: byte folding, the normalisation pass, key matching,
// line iteration, the number grammar, every lookup kind and the load limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>

#include "TempDir.h"
#include "settings/SettingsReader.h"

namespace {

using namespace std::string_literals;

SettingsReader FromText(std::string_view text) {
    return SettingsReader(text.data(), text.size());
}

std::string Normalised(std::string_view text) {
    const SettingsReader reader = FromText(text);
    return std::string(reader.Text(), static_cast<size_t>(reader.Length()));
}

// ---------------------------------------------------------------- folding

TEST(FoldTable, KeepsTheCharactersThatMeanSomething) {
    for (const char c : "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ+-._; "s)
        EXPECT_EQ(FoldTable[static_cast<uint8_t>(c)], static_cast<uint8_t>(c)) << c;
}

TEST(FoldTable, FoldsLowerCaseAndTurnsColonIntoSemicolon) {
    for (int c = 'a'; c <= 'z'; ++c) EXPECT_EQ(FoldTable[c], c - 'a' + 'A');
    EXPECT_EQ(FoldTable[':'], ';');
}

TEST(FoldTable, BlanksEverythingElse) {
    std::string others = "!\"#$%&'()*,/<=>?@[\\]^`{|}~\x7F"s;
    for (int c = 0; c < 0x20; ++c) others += static_cast<char>(c);
    for (int c = 0x80; c < 0x100; ++c) others += static_cast<char>(c);
    for (const char c : others) EXPECT_EQ(FoldTable[static_cast<uint8_t>(c)], ' ') << static_cast<int>(c);
}

// ---------------------------------------------------------- normalisation

struct NormaliseCase {
    const char* what;
    std::string input;
    std::string expected;
};

void PrintTo(const NormaliseCase& c, std::ostream* out) {
    *out << c.what;
}

class Normalisation : public testing::TestWithParam<NormaliseCase> {};

TEST_P(Normalisation, RewritesTheText) {
    EXPECT_EQ(Normalised(GetParam().input), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Normalisation,
    testing::Values(NormaliseCase{"folding", "abc = Def_1.5+-\n", "ABC   DEF_1.5+-\0"s},
                    NormaliseCase{"control bytes", "a\tb\rc\x01", "A B C "},
                    NormaliseCase{"crlf", "a = 1\r\nb", "A   1 \0B"s},
                    NormaliseCase{"semicolon comment", "x; comment = 5\ny", "X             \0Y"s},
                    NormaliseCase{"colon comment", "x: y\nz", "X   \0Z"s},
                    NormaliseCase{"quotes keep raw bytes", "k \"Ab/c;d\" e", "K  Ab/c;d  E"},
                    NormaliseCase{"quote inside a comment", "; \"ab\" c", "   ab   "},
                    NormaliseCase{"unclosed quote ends at the line feed", "\"ab\ncd", " ab\0CD"s},
                    NormaliseCase{"one slash joins", "a/b\nc", "A B C"},
                    NormaliseCase{"one backslash joins", "a\\b\nc", "A B C"},
                    NormaliseCase{"two slashes do not join", "a/b/c\nd", "A B C\0D"s},
                    NormaliseCase{"slash and backslash do not join", "a/b\\c\nd", "A B C\0D"s},
                    NormaliseCase{"quoted slash does not count", "\"a/b\"\nc", " a/b \0C"s},
                    NormaliseCase{"slash in a comment does not count", "x ;a/b\nc", "X     \0C"s},
                    NormaliseCase{"slash before a comment counts", "a/ ;x\nb", "A     B"},
                    NormaliseCase{"joins chain", "a/\nb/\nc", "A  B  C"},
                    NormaliseCase{"quoted slash beside an outside one", "\"/\" /\nb", " /    B"},
                    NormaliseCase{"nul outside quotes", "a\0b"s, "A B"},
                    NormaliseCase{"nul inside quotes stays", "\"a\0b\""s, " a\0b "s},
                    NormaliseCase{"high bytes outside quotes", "\xC0\xE9", "  "},
                    NormaliseCase{"high bytes inside quotes", "\"\xC0\xE9\"", " \xC0\xE9 "}));

// ----------------------------------------------------------- key matching

struct KeyCase {
    const char* what;
    std::string text;
    std::string key;
    int found;    // FindKey
    int readInt;  // ReadInt's result with default -99
    int value;    // ReadInt's destination
};

void PrintTo(const KeyCase& c, std::ostream* out) {
    *out << c.what;
}

class KeyMatching : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyMatching, FindsTheKeyAndReadsWhatFollows) {
    const KeyCase& c = GetParam();
    SettingsReader reader = FromText(c.text);
    int32_t lineEnd = -1;
    int32_t position = -1;
    EXPECT_EQ(reader.FindKey(c.key.c_str(), lineEnd, position), c.found) << c.what;
    int32_t value = 12345;
    EXPECT_EQ(reader.ReadInt(c.key.c_str(), value, -99), c.readInt) << c.what;
    EXPECT_EQ(value, c.value) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyMatching,
    testing::Values(KeyCase{"colon starts a comment", "Device: 5", "Device", 1, 0, -99},
                    KeyCase{"commented out", "; Device = 7", "Device", 0, 0, -99},
                    KeyCase{"spaces in the text", "Device Name = 5", "DeviceName", 1, 1, 5},
                    KeyCase{"shorter key before a blank", "Device Name = 5", "Device", 1, 0, -99},
                    KeyCase{"shorter key before a letter", "DeviceName = 5", "Device", 0, 0, -99},
                    KeyCase{"joined line", "DeviceName = a/b\nDevice = 3", "Device", 1, 1, 3},
                    KeyCase{"two slashes", "Path = a/b/c\nDevice = 3", "Device", 1, 1, 3},
                    KeyCase{"equals without blanks", "devicename=5", "DEVICENAME", 1, 1, 5},
                    KeyCase{"spaces in the key", "DEVICENAME 5", "device name", 1, 1, 5},
                    KeyCase{"spaces everywhere", "D E V I C E 5", "Device", 1, 1, 5},
                    KeyCase{"key ending in a space", "DEVICENAME 5", "DeviceName ", 0, 0, -99},
                    KeyCase{"key of spaces only", "X 5", "   ", 0, 0, -99},
                    KeyCase{"leading spaces in the key", "X 5", "  x", 1, 1, 5},
                    KeyCase{"key inside a word", "XDevice = 1", "Device", 0, 0, -99},
                    KeyCase{"first match wins", "Device = 1\nDevice = 2", "Device", 1, 1, 1},
                    KeyCase{"value word equal to the key", "Name = Device\nDevice = 4", "Device", 1, 0, -99},
                    KeyCase{"quoted text keeps its case", "A = \"Device\" 3\nDevice = 4", "Device", 1, 1, 4},
                    KeyCase{"quoted upper case matches", "\"DEVICE\" 9", "Device", 1, 1, 9},
                    KeyCase{"key bytes use their low seven bits", "Device 6",
                            "\xE4"
                            "evice",
                            1, 1, 6},
                    KeyCase{"key punctuation becomes a space", "DEVICE NAME 6", "Device=Name", 1, 1, 6},
                    KeyCase{"key at the end of the text", "Device", "Device", 1, 0, -99},
                    KeyCase{"number on the next line", "Device\n5", "Device", 1, 0, -99},
                    KeyCase{"negative value", "Device=-3", "Device", 1, 1, -3},
                    KeyCase{"long key cut to 255", std::string(255, 'A') + " 8", std::string(300, 'a'), 1, 1,
                            8},
                    KeyCase{"cut key needs a blank after it", std::string(256, 'A') + " 8",
                            std::string(300, 'a'), 0, 0, -99}));

TEST(FindKey, ReportsLineEndAndValuePosition) {
    SettingsReader reader = FromText("a 1\nkey  = value x\nz");
    int32_t lineEnd = 0;
    int32_t position = 0;
    ASSERT_EQ(reader.FindKey("Key", lineEnd, position), 1);
    EXPECT_EQ(position, 7);  // right after KEY
    EXPECT_EQ(lineEnd, 18);
    EXPECT_EQ(reader.LineCursor(), 1);
}

TEST(FindKey, OnAnEmptyReaderFindsNothing) {
    SettingsReader reader("");
    int32_t lineEnd = 0;
    int32_t position = 0;
    EXPECT_EQ(reader.FindKey("Device", lineEnd, position), 0);
    EXPECT_EQ(reader.FindKey(nullptr, lineEnd, position), 0);
}

// --------------------------------------------------------- line iteration

std::string NextLine(SettingsReader& reader, const char* key) {
    int32_t lineEnd = 0;
    int32_t position = 0;
    if (!reader.FindKey(key, lineEnd, position)) return "<none>";
    return std::string(reader.Text() + position, reader.Text() + lineEnd);
}

TEST(LineIteration, ReturnsTheNonBlankLinesInOrderThenNothing) {
    for (const char* key : {static_cast<const char*>(nullptr), ""}) {
        SettingsReader reader = FromText("first line\n\n   \n second\n;only a comment\nthird");
        EXPECT_EQ(NextLine(reader, key), "FIRST LINE");
        EXPECT_EQ(NextLine(reader, key), "SECOND");
        EXPECT_EQ(NextLine(reader, key), "THIRD");
        EXPECT_EQ(NextLine(reader, key), "<none>");
        EXPECT_EQ(reader.LineCursor(), 3);
    }
}

TEST(LineIteration, ContinuesFromTheLineNumberAKeySearchLeft) {
    // Lines: 0 "A 1", 1 empty, 2 "B 2", 3 "C 3", 4 "D 4".
    SettingsReader reader = FromText("a 1\n\nb 2\nc 3\nd 4");
    ASSERT_EQ(NextLine(reader, "c"), " 3");
    EXPECT_EQ(reader.LineCursor(), 3);
    // The cursor counts all lines, iteration counts non-blank ones.
    EXPECT_EQ(NextLine(reader, ""), "D 4");
    EXPECT_EQ(reader.LineCursor(), 4);
    EXPECT_EQ(NextLine(reader, ""), "<none>");
}

TEST(LineIteration, AFailedSearchKeepsTheCursor) {
    SettingsReader reader = FromText("a 1\nb 2\nc 3");
    ASSERT_EQ(NextLine(reader, "b"), " 2");
    EXPECT_EQ(NextLine(reader, "missing"), "<none>");
    EXPECT_EQ(reader.LineCursor(), 1);
}

TEST(LineIteration, AJoinedLineIsOneLine) {
    SettingsReader reader = FromText("a/b\nc\nd");
    EXPECT_EQ(NextLine(reader, nullptr), "A B C");
    EXPECT_EQ(NextLine(reader, nullptr), "D");
    ASSERT_EQ(NextLine(reader, "d"), "");
    EXPECT_EQ(reader.LineCursor(), 1);
}

TEST(CountValues, CountsConsecutiveNumbersAndKeepsTheCursor) {
    SettingsReader reader = FromText("FreqSIN = 1 2 x 3\nb 2\nlist 1 2 3 4K 0x5 .5");
    ASSERT_EQ(NextLine(reader, "b"), " 2");
    EXPECT_EQ(reader.CountValues("FreqSIN"), 2);
    EXPECT_EQ(reader.LineCursor(), 1);
    EXPECT_EQ(reader.CountValues("list"), 6);
    EXPECT_EQ(reader.CountValues("b"), 1);
    EXPECT_EQ(reader.CountValues("missing"), 0);
    EXPECT_EQ(reader.CountValues("x"), 1);
    EXPECT_EQ(reader.LineCursor(), 1);
}

// ---------------------------------------------------------- number grammar

struct NumberCase {
    const char* token;
    bool number;
    int32_t asInt;
    double asDouble;
};

void PrintTo(const NumberCase& c, std::ostream* out) {
    *out << c.token;
}

class NumberGrammar : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberGrammar, ClassifiesAndConverts) {
    const NumberCase& c = GetParam();
    const std::string text = "V " + std::string(c.token) + " 77";
    SettingsReader reader = FromText(text);
    int32_t lineEnd = 0;
    int32_t start = 0;
    ASSERT_EQ(reader.FindKey("V", lineEnd, start), 1);
    const int32_t tokenEnd = 2 + static_cast<int32_t>(std::strlen(c.token));

    int32_t position = start;
    EXPECT_EQ(reader.IsNumber(lineEnd, position), c.number ? 1 : 0) << c.token;
    EXPECT_EQ(position, tokenEnd) << c.token;

    position = start;
    int32_t asInt = 555;
    double asDouble = 555.0;
    EXPECT_EQ(reader.ParseNumber(lineEnd, position, &asInt, &asDouble), c.number ? 1 : 0) << c.token;
    EXPECT_EQ(position, tokenEnd) << c.token;
    EXPECT_EQ(asInt, c.number ? c.asInt : 555) << c.token;
    if (c.number)
        EXPECT_EQ(asDouble, c.asDouble) << c.token;
    else
        EXPECT_EQ(asDouble, 555.0) << c.token;

    // Each output alone gives the same value.
    position = start;
    int32_t intOnly = 555;
    reader.ParseNumber(lineEnd, position, &intOnly, nullptr);
    EXPECT_EQ(intOnly, asInt) << c.token;
    position = start;
    double doubleOnly = 555.0;
    reader.ParseNumber(lineEnd, position, nullptr, &doubleOnly);
    EXPECT_EQ(doubleOnly, asDouble) << c.token;
}

constexpr double Infinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Tokens, NumberGrammar,
    testing::Values(
        // hexadecimal
        NumberCase{"0x1f", true, 31, 31.0}, NumberCase{"0X", true, 0, 0.0},
        NumberCase{"0XABCDEF", true, 0xABCDEF, 11259375.0}, NumberCase{"0xFFFFFFFF", true, -1, 4294967295.0},
        NumberCase{"0x10000000000000001", true, 1, 1.0},
        NumberCase{"0x8000000000000000", true, 0, -9223372036854775808.0}, NumberCase{"0XG", false, 0, 0},
        NumberCase{"0X1K", false, 0, 0}, NumberCase{"0x-1", false, 0, 0}, NumberCase{"-0x10", false, 0, 0},
        NumberCase{"+0x10", false, 0, 0}, NumberCase{"00X1", false, 0, 0},
        // decimal integers and suffixes
        NumberCase{"0", true, 0, 0.0}, NumberCase{"-1", true, -1, -1.0},
        NumberCase{"12K", true, 12288, 12288.0}, NumberCase{"2M", true, 2097152, 2097152.0},
        NumberCase{"-1K", true, -1024, -1024.0}, NumberCase{"4096M", true, 0, 4294967296.0},
        NumberCase{"K", true, 0, 0.0}, NumberCase{"M", true, 0, 0.0}, NumberCase{"+", true, 0, 0.0},
        NumberCase{"-", true, 0, 0.0}, NumberCase{"4294967297", true, 1, 4294967297.0},
        NumberCase{"2147483648", true, -2147483647 - 1, 2147483648.0},
        NumberCase{"18446744073709551617", true, 1, 1.0},
        NumberCase{"9223372036854775808", true, 0, -9223372036854775808.0}, NumberCase{"12K5", false, 0, 0},
        NumberCase{"KK", false, 0, 0}, NumberCase{"K1", false, 0, 0}, NumberCase{"1KM", false, 0, 0},
        NumberCase{"1-2", false, 0, 0}, NumberCase{"+-1", false, 0, 0}, NumberCase{"--1", false, 0, 0},
        NumberCase{"1A", false, 0, 0}, NumberCase{"ABC", false, 0, 0}, NumberCase{"1_0", false, 0, 0},
        // floating form
        NumberCase{"1.5K", true, 1536, 1536.0}, NumberCase{"1.5M", true, 1572864, 1572864.0},
        NumberCase{"2.5", true, 3, 2.5}, NumberCase{"-2.5", true, -2, -2.5},
        NumberCase{"-0.5", true, 0, -0.5}, NumberCase{"0.5", true, 1, 0.5}, NumberCase{"0.49", true, 0, 0.49},
        NumberCase{"-1.5", true, -1, -1.5}, NumberCase{".5", true, 1, 0.5}, NumberCase{".", true, 0, 0.0},
        NumberCase{"E", true, 0, 0.0}, NumberCase{"1D3", true, 1000, 1000.0},
        NumberCase{"1d-3", true, 0, 0.001}, NumberCase{"1E5-3", true, 100000, 100000.0},
        NumberCase{"1E+2", true, 100, 100.0}, NumberCase{"1E2+", true, 100, 100.0},
        NumberCase{"1.E", true, 1, 1.0}, NumberCase{"2147483647.5", true, -2147483647 - 1, 2147483647.5},
        NumberCase{"1E999", true, 0, Infinity}, NumberCase{"-1E999", true, 0, -Infinity},
        NumberCase{"1.2.3", false, 0, 0}, NumberCase{"1E2E3", false, 0, 0}, NumberCase{"1D2E3", false, 0, 0},
        NumberCase{"1.5KK", false, 0, 0}, NumberCase{"1.5K0", false, 0, 0}));

TEST(NumberGrammar, ConvertsAtMost99BytesOfAFloatingBody) {
    // 100 bytes: the 100th, a 5, is left out of the conversion.
    const std::string body = "0." + std::string(96, '0') + "15";
    ASSERT_EQ(body.size(), 100u);
    SettingsReader reader = FromText("V -" + body + "K");
    double value = 0.0;
    ASSERT_EQ(reader.ReadDouble("V", value, 0.0), 1);
    EXPECT_EQ(value, -1e-97 * 1024.0);
}

TEST(NumberGrammar, OnlyBlanksLeftMovesToTheRangeEnd) {
    SettingsReader reader = FromText("V    ");
    int32_t position = 1;
    EXPECT_EQ(reader.IsNumber(5, position), 0);
    EXPECT_EQ(position, 5);
}

TEST(NumberGrammar, TheRangeEndCutsATokenShort) {
    SettingsReader reader = FromText("V 12345");
    int32_t position = 1;
    int32_t value = 0;
    ASSERT_EQ(reader.ParseNumber(5, position, &value, nullptr), 1);
    EXPECT_EQ(value, 123);
    EXPECT_EQ(position, 5);
}

// ------------------------------------------------------------ ReadString

struct StringCase {
    const char* what;
    std::string text;
    int32_t size;
    const char* defaultText;
    int result;
    std::string value;  // the destination starts as "untouched"
};

void PrintTo(const StringCase& c, std::ostream* out) {
    *out << c.what;
}

class ReadString : public testing::TestWithParam<StringCase> {};

TEST_P(ReadString, CopiesTheRestOfTheLine) {
    const StringCase& c = GetParam();
    SettingsReader reader = FromText(c.text);
    char destination[32];
    std::memset(destination, '#', sizeof destination);
    std::strcpy(destination, "untouched");
    EXPECT_EQ(reader.ReadString("DeviceName", destination, c.size, c.defaultText), c.result) << c.what;
    EXPECT_EQ(std::string(destination), c.value) << c.what;
    // Nothing past the given size is ever written.
    for (size_t i = std::max<size_t>(static_cast<size_t>(c.size), 10); i < sizeof destination; ++i)
        EXPECT_EQ(destination[i], '#') << c.what << " byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadString,
    testing::Values(
        StringCase{"folded, minus kept", "devicename = abc-1", 20, nullptr, 1, "ABC-1"},
        StringCase{"quoted", "DeviceName = \"Abc/1\"", 20, nullptr, 1, "Abc/1"},
        StringCase{"joined line", "DeviceName = a/b\nDevice = 3", 20, nullptr, 1, "A B DEVICE   3"},
        StringCase{"inner spaces kept, comment gone", "DeviceName = my dev ; x", 20, nullptr, 1, "MY DEV"},
        StringCase{"quoted blanks around the value", "DeviceName \"  pad  \"", 20, nullptr, 1, "pad"},
        StringCase{"nothing after the key", "DeviceName =", 20, nullptr, 1, ""},
        StringCase{"size 1", "DeviceName = x", 1, nullptr, 1, ""},
        StringCase{"cut to size - 1", "DeviceName = abcdef", 4, nullptr, 1, "ABC"},
        StringCase{"cut, then trailing spaces stripped", "DeviceName = ab   cd", 6, nullptr, 1, "AB"},
        StringCase{"missing key takes the default", "Other = 1", 20, "dflt", 0, "dflt"},
        StringCase{"missing key, empty default", "Other = 1", 20, "", 0, "untouched"},
        StringCase{"missing key, no default", "Other = 1", 20, nullptr, 0, "untouched"},
        StringCase{"a long default is cut to the size", "Other = 1", 5, "0123456789", 0, "0123"},
        StringCase{"size 0 touches nothing", "DeviceName = x", 0, "dflt", 0, "untouched"},
        StringCase{"negative size touches nothing", "DeviceName = x", -1, "dflt", 0, "untouched"}));

TEST(ReadString, NullDestinationIsRefused) {
    SettingsReader reader = FromText("DeviceName = x");
    EXPECT_EQ(reader.ReadString("DeviceName", nullptr, 10, "dflt"), 0);
}

// -------------------------------------------------- ReadInt and ReadDouble

TEST(ReadInt, DefaultOnlyWhenNonZero) {
    SettingsReader reader = FromText("A = x\nB = 4");
    int32_t value = 7;
    EXPECT_EQ(reader.ReadInt("A", value, 0), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(reader.ReadInt("Missing", value, 0), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(reader.ReadInt("Missing", value, 9), 0);
    EXPECT_EQ(value, 9);
    EXPECT_EQ(reader.ReadInt("B", value, 9), 1);
    EXPECT_EQ(value, 4);
}

TEST(ReadDouble, DefaultOnlyWhenNonZero) {
    SettingsReader reader = FromText("A = x\nB = 0.25");
    double value = 7.5;
    EXPECT_EQ(reader.ReadDouble("A", value, 0.0), 0);
    EXPECT_EQ(value, 7.5);
    EXPECT_EQ(reader.ReadDouble("Missing", value, 2.5), 0);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(reader.ReadDouble("B", value, 2.5), 1);
    EXPECT_EQ(value, 0.25);
}

// ----------------------------------------------------------- ReadDoubleList

TEST(ReadDoubleList, StoresUpToTheMaximumAndStopsAtANonNumber) {
    SettingsReader reader = FromText("L = 1 2.5 0x10 4K x 6\nE =");
    double values[5] = {-1, -1, -1, -1, -1};
    EXPECT_EQ(reader.ReadDoubleList("L", values, 5), 4);
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[1], 2.5);
    EXPECT_EQ(values[2], 16.0);
    EXPECT_EQ(values[3], 4096.0);
    EXPECT_EQ(values[4], -1.0);

    double two[3] = {-1, -1, -1};
    EXPECT_EQ(reader.ReadDoubleList("L", two, 2), 2);
    EXPECT_EQ(two[2], -1.0);
    EXPECT_EQ(reader.ReadDoubleList("L", two, 0), 0);
    EXPECT_EQ(reader.ReadDoubleList("L", two, -3), 0);
    EXPECT_EQ(reader.ReadDoubleList("E", two, 3), 0);
    EXPECT_EQ(reader.ReadDoubleList("Missing", two, 3), 0);
    EXPECT_EQ(two[2], -1.0);
}

// ------------------------------------------------- nothing loaded, limits

TEST(EmptyReader, AnswersMinusOneAndTouchesNothing) {
    SettingsReader reader(static_cast<const char*>(nullptr), 0);
    EXPECT_FALSE(reader.Loaded());
    char text[8] = "keep";
    int32_t number = 5;
    double real = 1.5;
    double list[2] = {3.0, 4.0};
    EXPECT_EQ(reader.ReadString("K", text, 8, "dflt"), -1);
    EXPECT_EQ(reader.ReadInt("K", number, 9), -1);
    EXPECT_EQ(reader.ReadDouble("K", real, 9.0), -1);
    EXPECT_EQ(reader.ReadDoubleList("K", list, 2), -1);
    EXPECT_EQ(reader.CountValues("K"), -1);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(number, 5);
    EXPECT_EQ(real, 1.5);
    EXPECT_EQ(list[0], 3.0);
}

// Text of exactly size bytes whose last line, without a line feed, is "D = 7".
std::string Padded(size_t size) {
    const std::string tail = "D = 7";
    return std::string(size - tail.size() - 1, ' ') + "\n" + tail;
}

struct SizeCase {
    size_t size;
    bool loads;
};

void PrintTo(const SizeCase& c, std::ostream* out) {
    *out << c.size << " bytes";
}

class LoadLimits : public testing::TestWithParam<SizeCase> {};

TEST_P(LoadLimits, AcceptUpTo128KiB) {
    const std::string text = Padded(GetParam().size);
    for (const bool fromFile : {false, true}) {
        TempDir directory;
        const std::string name = directory.File("limits.cfg");
        WriteBytes(name, text);
        SettingsReader reader =
            fromFile ? SettingsReader(name.c_str()) : SettingsReader(text.data(), text.size());
        EXPECT_EQ(reader.Loaded(), GetParam().loads) << GetParam().size;
        int32_t value = 0;
        EXPECT_EQ(reader.ReadInt("D", value, 0), GetParam().loads ? 1 : -1);
        EXPECT_EQ(value, GetParam().loads ? 7 : 0);
        EXPECT_EQ(reader.Length(), GetParam().loads ? static_cast<int32_t>(text.size()) : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LoadLimits,
                         testing::Values(SizeCase{7, true}, SizeCase{131071, true}, SizeCase{131072, true},
                                         SizeCase{131073, false}, SizeCase{200000, false}));

TEST(Load, RefusesMissingEmptyAndDirectories) {
    TempDir directory;
    WriteBytes(directory.File("empty.cfg"), "");
    EXPECT_FALSE(SettingsReader(directory.File("missing.cfg").c_str()).Loaded());
    EXPECT_FALSE(SettingsReader(directory.File("empty.cfg").c_str()).Loaded());
    EXPECT_FALSE(SettingsReader(directory.Path().string().c_str()).Loaded());
    EXPECT_FALSE(SettingsReader(static_cast<const char*>(nullptr)).Loaded());
    EXPECT_FALSE(SettingsReader("", 0).Loaded());
}

TEST(Load, AFileBeyond32BitsIsTooLargeWhateverItsLowBits) {
    TempDir directory;
    const std::string name = directory.File("huge.cfg");
    WriteBytes(name, "D = 7\n");
    std::error_code error;
    // Sparse: 4 GiB + 6 bytes, whose low 32 bits alone would say 6.
    std::filesystem::resize_file(name, (uint64_t{1} << 32) + 6, error);
    if (error) GTEST_SKIP() << "cannot make a sparse file here: " << error.message();
    EXPECT_FALSE(SettingsReader(name.c_str()).Loaded());
}

TEST(Load, ReadsTheFileAndNormalisesIt) {
    TempDir directory;
    const std::string name = directory.File("plain.cfg");
    WriteBytes(name, "Device = 3\r\nName = \"Ab\"\r\n");
    SettingsReader reader(name.c_str());
    ASSERT_TRUE(reader.Loaded());
    EXPECT_EQ(std::string(reader.Text(), static_cast<size_t>(reader.Length())),
              "DEVICE   3 \0NAME    Ab  \0"s);
    EXPECT_EQ(reader.Text()[reader.Length()], '\0');
}

}  // namespace

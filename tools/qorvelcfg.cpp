// qorvelcfg: shows the settings exactly as the program reads them, with the
// program's own reader and file rules, so a user can see why a setting is
// read the way it is.
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DriverCheck.h"
#include "device/DriverKey.h"
#include "settings/ConfigFiles.h"
#include "settings/SettingsReader.h"

namespace {

const char Usage[] =
    "usage: qorvelcfg show [DIR]\n"
    "       qorvelcfg get FILE KEY --string|--int|--double|--list|--count\n"
    "                 [--default VALUE] [--size N] [--max N]\n"
    "       qorvelcfg --help\n";

const char Help[] =
    "\n"
    "show [DIR]  prints the configuration (QorvelGen.cfg) and the saved state\n"
    "            (QorvelGen.sav) that the program would read from DIR (default:\n"
    "            the current directory), after start values, defaults and\n"
    "            clamps, and the registry key under which it would look for the\n"
    "            board's driver. On Windows it then checks the driver in both\n"
    "            registry views, without loading it: the key, its value path\n"
    "            (REG_SZ, at most 255 characters), the file, its architecture\n"
    "            against this program's (a 32-bit program cannot load a 64-bit\n"
    "            DLL and the other way round) and its export StaticFactory;\n"
    "            it ends with a verdict and what to do.\n"
    "\n"
    "get FILE KEY KIND  answers one lookup of the settings reader. KEY may be\n"
    "            empty (\"\"): --string then reads the first non-blank line.\n"
    "            Output, one item a line:\n"
    "            line 1  the result: -1 the file was not loaded (missing, empty,\n"
    "                    larger than 131072 bytes, unreadable), 0 key not found\n"
    "                    or not followed by a number, 1 found; for --list the\n"
    "                    number of values stored, for --count the number of\n"
    "                    numbers following the key\n"
    "            --string  line 2: the destination after the lookup (it starts\n"
    "                    empty; --size N bytes, default 256; --default TEXT is\n"
    "                    stored when the key is missing)\n"
    "            --int   line 2: the destination as a signed decimal (starts 0;\n"
    "                    a non-zero --default N is stored on a miss)\n"
    "            --double  line 2: the destination, %.17g (starts 0; a non-zero\n"
    "                    --default X is stored on a miss)\n"
    "            --list  one line per stored value, %.17g (at most --max N,\n"
    "                    default 256)\n"
    "            --count nothing further\n"
    "\n"
    "Bad arguments print this usage on stderr and exit with 2.\n";

enum class Kind { None, String, Int, Double, List, Count };

struct Lookup {
    const char* file = nullptr;
    const char* key = nullptr;
    Kind kind = Kind::None;
    const char* defaultValue = nullptr;
    long size = 256;
    long maximum = 256;
};

// Every line of standard output goes through the one writer (wide to a
// console, UTF-8 with LF line ends when redirected): a second writer would
// mix line ends and code pages in one file.
void Out(const char* format, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    if (static_cast<size_t>(length) < sizeof buffer) {
        PrintText(std::string(buffer, static_cast<size_t>(length)));
        return;
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    va_start(arguments, format);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    text.pop_back();
    PrintText(text);
}

int BadArguments() {
    std::fputs(Usage, stderr);
    return 2;
}

bool ParseLong(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool ParseDouble(const char* text, double& value) {
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0') return false;
    value = parsed;
    return true;
}

bool SetKind(Lookup& lookup, Kind kind) {
    if (lookup.kind != Kind::None) return false;
    lookup.kind = kind;
    return true;
}

bool ParseLookup(int argc, char** argv, Lookup& lookup) {
    if (argc < 5) return false;
    lookup.file = argv[2];
    lookup.key = argv[3];
    bool sizeGiven = false;
    bool maximumGiven = false;
    for (int i = 4; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (option == "--string")
            ok = SetKind(lookup, Kind::String);
        else if (option == "--int")
            ok = SetKind(lookup, Kind::Int);
        else if (option == "--double")
            ok = SetKind(lookup, Kind::Double);
        else if (option == "--list")
            ok = SetKind(lookup, Kind::List);
        else if (option == "--count")
            ok = SetKind(lookup, Kind::Count);
        else if (option == "--default" && hasValue && lookup.defaultValue == nullptr)
            lookup.defaultValue = argv[++i];
        else if (option == "--size" && hasValue && !sizeGiven)
            ok = sizeGiven = ParseLong(argv[++i], 0, 65536, lookup.size);
        else if (option == "--max" && hasValue && !maximumGiven)
            ok = maximumGiven = ParseLong(argv[++i], 0, 65536, lookup.maximum);
        else
            ok = false;
        if (!ok) return false;
    }
    const bool takesDefault =
        lookup.kind == Kind::String || lookup.kind == Kind::Int || lookup.kind == Kind::Double;
    return lookup.kind != Kind::None && (takesDefault || lookup.defaultValue == nullptr) &&
           (lookup.kind == Kind::String || !sizeGiven) && (lookup.kind == Kind::List || !maximumGiven);
}

int RunLookup(const Lookup& lookup) {
    SettingsReader reader(lookup.file);
    switch (lookup.kind) {
    case Kind::String: {
        std::vector<char> destination(static_cast<size_t>(lookup.size) + 1, '\0');
        const int32_t result = reader.ReadString(lookup.key, destination.data(),
                                                 static_cast<int32_t>(lookup.size), lookup.defaultValue);
        Out("%d\n%s\n", result, DisplayText1251(destination.data()).c_str());
        return 0;
    }
    case Kind::Int: {
        long defaultValue = 0;
        if (lookup.defaultValue != nullptr &&
            !ParseLong(lookup.defaultValue, INT32_MIN, INT32_MAX, defaultValue))
            return BadArguments();
        int32_t destination = 0;
        const int32_t result = reader.ReadInt(lookup.key, destination, static_cast<int32_t>(defaultValue));
        Out("%d\n%d\n", result, destination);
        return 0;
    }
    case Kind::Double: {
        double defaultValue = 0.0;
        if (lookup.defaultValue != nullptr && !ParseDouble(lookup.defaultValue, defaultValue))
            return BadArguments();
        double destination = 0.0;
        const int32_t result = reader.ReadDouble(lookup.key, destination, defaultValue);
        Out("%d\n%.17g\n", result, destination);
        return 0;
    }
    case Kind::List: {
        std::vector<double> values(static_cast<size_t>(lookup.maximum) + 1);
        const int32_t result =
            reader.ReadDoubleList(lookup.key, values.data(), static_cast<int32_t>(lookup.maximum));
        Out("%d\n", result);
        for (int32_t i = 0; i < result; ++i) Out("%.17g\n", values[static_cast<size_t>(i)]);
        return 0;
    }
    case Kind::Count: Out("%d\n", reader.CountValues(lookup.key)); return 0;
    case Kind::None: break;
    }
    return BadArguments();
}

std::string InDirectory(const std::string& directory, const char* name) {
    if (directory.empty()) return name;
    const char last = directory.back();
    return last == '/' || last == '\\' ? directory + name : directory + "/" + name;
}

const char* LoadedText(const std::string& path) {
    return SettingsReader(path.c_str()).Loaded() ? "loaded" : "not loaded";
}

int Show(const std::string& directory) {
    const std::string configuration = InDirectory(directory, "QorvelGen.cfg");
    const std::string savedState = InDirectory(directory, "QorvelGen.sav");
    struct : Configuration, SavedState {
    } state;
    ReadConfiguration(state, configuration.c_str());
    ReadSavedState(state, savedState.c_str());

    Out("%s: %s\n", DisplayTextOfSystem(configuration.c_str()).c_str(), LoadedText(configuration));
    PrintText("  DeviceName      = " + DisplayText1251(state.DeviceName) + "\n");
    Out("  Device          = %d\n", state.Device);
    Out("  HelpPreDelay    = %d\n", state.HelpPreDelay);
    Out("  HelpPostDelay   = %d\n", state.HelpPostDelay);
    Out("  ADCRange        = %.17g\n", state.ADCRange);
    Out("  DACRange        = %.17g\n", state.DACRange);
    Out("  FreqSINCount    = %d\n", state.FreqSINCount);
    Out("  FreqSIN         =");
    for (int32_t i = 0; i < state.FreqSINCount; ++i) Out(" %.17g", state.FreqSIN[i]);
    Out("\n");
    Out("%s: %s\n", DisplayTextOfSystem(savedState.c_str()).c_str(), LoadedText(savedState));
    Out("  FreqIndex       = %d\n", state.FreqIndex);
    Out("  AmplitudeIndex1 = %d\n", state.AmplitudeIndex1);
    Out("  AmplitudeIndex2 = %d\n", state.AmplitudeIndex2);
    Out("  ModeIndex1      = %d\n", state.ModeIndex1);
    Out("  ModeIndex2      = %d\n", state.ModeIndex2);
    char key[512];
    BuildDriverKeyPath(state.DeviceName, key, sizeof key);
    PrintText("registry key: HKEY_LOCAL_MACHINE\\" + DisplayText1251(key) + "\n");
    DriverView own, other;
    if (!InspectDriverViews(state.DeviceName, directory.c_str(), own, other)) {
        Out("driver: not checked: there is no registry on this system\n");
        return 0;
    }
    for (const std::string& line : DescribeDriver(own, other)) PrintText(line + "\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return BadArguments();
    const std::string command = argv[1];
    if (command == "--help" && argc == 2) {
        PrintText(std::string(Usage) + Help);
        return 0;
    }
    if (command == "show" && argc <= 3) return Show(argc == 3 ? argv[2] : ".");
    if (command == "get") {
        Lookup lookup;
        if (!ParseLookup(argc, argv, lookup)) return BadArguments();
        return RunLookup(lookup);
    }
    return BadArguments();
}

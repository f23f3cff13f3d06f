// Where there is no registry there is no driver to check: the driver check
// of qorvelcfg runs on Windows only. Texts are printed as they are.
#include <cstdio>

#include "DriverCheck.h"

bool InspectDriverViews(const char*, const char*, DriverView&, DriverView&) {
    return false;
}

std::string DisplayText1251(const char* text) {
    return text;
}

std::string DisplayTextOfSystem(const char* text) {
    return text;
}

void PrintText(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

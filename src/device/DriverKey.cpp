#include "device/DriverKey.h"

namespace {

// Appends text at out[used], keeping room for the terminator.
void Append(const char* text, char* out, size_t size, size_t& used) {
    for (; *text != '\0' && used + 1 < size; ++text) out[used++] = *text;
    out[used] = '\0';
}

}  // namespace

void BuildDriverKeyPath(const char* deviceName, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    size_t used = 0;
    out[0] = '\0';
    Append("SOFTWARE", out, size, used);
    const char* const components[] = {"Brackwell", "Drivers", "1.0", deviceName};
    for (const char* component : components) {
        if (component == nullptr || *component == '\0') continue;
        Append("\\", out, size, used);
        Append(component, out, size, used);
    }
}

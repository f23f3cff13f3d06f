#include "framework/MessageMap.h"

bool HasHandler(const MessageMapEntry& entry) {
    switch (entry.callShape) {
    case NoArgs: return entry.handler.noArgs != nullptr;
    case WParamArg: return entry.handler.wParamArg != nullptr;
    case LParamArg: return entry.handler.lParamArg != nullptr;
    case BothArgs: return entry.handler.bothArgs != nullptr;
    default: return false;  // no row is made with another shape
    }
}

const MessageMapEntry* FindMapEntry(const MessageMapEntry* map, uint32_t message, uintptr_t wParam) {
    if (!map) return nullptr;
    // Only the low word of wParam is an id; a notification code in the high
    // word never takes part, so every notification of a control finds its row.
    const uint32_t id = static_cast<uint32_t>(wParam & 0xFFFF);
    for (const MessageMapEntry* entry = map; HasHandler(*entry); ++entry) {
        if (entry->message != message) continue;
        if (entry->firstId == 0 || entry->firstId == id ||
            (entry->lastId != 0 && entry->firstId <= id && id <= entry->lastId))
            return entry;
    }
    return nullptr;
}

int32_t CallMapEntry(const MessageMapEntry& entry, WindowObject& object, uintptr_t wParam, intptr_t lParam) {
    switch (entry.callShape) {
    case NoArgs: return entry.handler.noArgs(object);
    case WParamArg: return entry.handler.wParamArg(object, WParam{wParam});
    case LParamArg: return entry.handler.lParamArg(object, LParam{lParam});
    case BothArgs: return entry.handler.bothArgs(object, WParam{wParam}, LParam{lParam});
    default: return NotHandled;
    }
}

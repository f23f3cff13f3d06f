#include "framework/MessageMap.h"

const MessageMapEntry* FindMapEntry(const MessageMapEntry* map, uint32_t message, uintptr_t wParam) {
    if (!map) return nullptr;
    // Only the low word of wParam is an id; a notification code in the high
    // word never takes part, so every notification of a control finds its row.
    const uint32_t id = static_cast<uint32_t>(wParam & 0xFFFF);
    for (const MessageMapEntry* entry = map; entry->handler; ++entry) {
        if (entry->message != message) continue;
        if (entry->firstId == 0 || entry->firstId == id ||
            (entry->lastId != 0 && entry->firstId <= id && id <= entry->lastId))
            return entry;
    }
    return nullptr;
}

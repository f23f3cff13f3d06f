// Constant message maps: one row per handled message, searched in order.
// Portable: the matching is plain arithmetic and is tested natively.
#pragma once

#include <cstdint>

class WindowObject;

enum CallShape : uint32_t {
    NoArgs = 0,     // handler()
    WParamArg = 1,  // handler(wParam)
    LParamArg = 2,  // handler(lParam)
    BothArgs = 3,   // handler(wParam, lParam)
};

// A handler result of -1 means "not handled": default processing follows.
constexpr int32_t NotHandled = -1;

using MessageThunk = int32_t (*)(WindowObject& object, uintptr_t wParam, intptr_t lParam);

struct MessageMapEntry {
    uint32_t message;
    uint32_t firstId;   // 0 matches any id
    uint32_t lastId;    // 0: a single id; else the inclusive end of a range
    uint32_t callShape;
    MessageThunk handler;  // null ends the map
};

// The first row for (message, low word of wParam), or null.
const MessageMapEntry* FindMapEntry(const MessageMapEntry* map, uint32_t message, uintptr_t wParam);

namespace message_map_detail {
template <class T> struct Shape;
template <class T> struct Shape<int32_t (T::*)()> {
    using Class = T;
    static constexpr CallShape value = NoArgs;
};
template <class T> struct Shape<int32_t (T::*)(uintptr_t)> {
    using Class = T;
    static constexpr CallShape value = WParamArg;
};
template <class T> struct Shape<int32_t (T::*)(intptr_t)> {
    using Class = T;
    static constexpr CallShape value = LParamArg;
};
template <class T> struct Shape<int32_t (T::*)(uintptr_t, intptr_t)> {
    using Class = T;
    static constexpr CallShape value = BothArgs;
};

// Converts the WindowObject part to the class that owns the map (which need
// not begin with it) and passes exactly the arguments of the row's shape.
template <auto Handler>
int32_t Call(WindowObject& object, uintptr_t wParam, intptr_t lParam) {
    using S = Shape<decltype(Handler)>;
    auto& self = static_cast<typename S::Class&>(object);
    if constexpr (S::value == NoArgs) {
        (void)wParam, (void)lParam;
        return (self.*Handler)();
    } else if constexpr (S::value == WParamArg) {
        (void)lParam;
        return (self.*Handler)(wParam);
    } else if constexpr (S::value == LParamArg) {
        (void)wParam;
        return (self.*Handler)(lParam);
    } else {
        return (self.*Handler)(wParam, lParam);
    }
}
}  // namespace message_map_detail

// One row: MapRow<&Class::OnSomething>(WM_COMMAND, 1022). The call shape
// follows from the handler's parameters.
template <auto Handler>
constexpr MessageMapEntry MapRow(uint32_t message, uint32_t firstId = 0, uint32_t lastId = 0) {
    return {message, firstId, lastId, message_map_detail::Shape<decltype(Handler)>::value,
            &message_map_detail::Call<Handler>};
}

constexpr MessageMapEntry MapEnd{0, 0, 0, 0, nullptr};

// Constant message maps: one row per handled message, searched in order.
// Portable: the matching and the call are plain code, tested natively.
#pragma once

#include <cstdint>

class WindowObject;

// A message's two parameters as a handler receives them. Distinct types, so
// a handler's signature says which one it takes and a row cannot hand it the
// other, on 32-bit (where both are 32 bits wide) as on 64-bit.
struct WParam {
    uintptr_t value;
};
struct LParam {
    intptr_t value;
};

enum CallShape : uint32_t {
    NoArgs = 0,     // handler()
    WParamArg = 1,  // handler(WParam)
    LParamArg = 2,  // handler(LParam)
    BothArgs = 3,   // handler(WParam, LParam)
};

// A handler result of -1 means "not handled": default processing follows.
constexpr int32_t NotHandled = -1;

// A row's handler, called with the WindowObject part of the object that owns
// the map. The member in use is the one the row's callShape names.
union MessageHandler {
    int32_t (*noArgs)(WindowObject& object);
    int32_t (*wParamArg)(WindowObject& object, WParam wParam);
    int32_t (*lParamArg)(WindowObject& object, LParam lParam);
    int32_t (*bothArgs)(WindowObject& object, WParam wParam, LParam lParam);
};

struct MessageMapEntry {
    uint32_t message;
    uint32_t firstId;  // 0 matches any id
    uint32_t lastId;   // 0: a single id; else the inclusive end of a range
    uint32_t callShape;
    MessageHandler handler;  // none ends the map
};

// True when the row has a handler (the end row has none).
bool HasHandler(const MessageMapEntry& entry);

// The first row for (message, low word of wParam), or null.
const MessageMapEntry* FindMapEntry(const MessageMapEntry* map, uint32_t message, uintptr_t wParam);

// Calls the row's handler with the parameters its callShape names, and
// returns its result.
int32_t CallMapEntry(const MessageMapEntry& entry, WindowObject& object, uintptr_t wParam, intptr_t lParam);

namespace message_map_detail {
template <class T>
struct Shape;
template <class T>
struct Shape<int32_t (T::*)()> {
    using Class = T;
    static constexpr CallShape value = NoArgs;
};
template <class T>
struct Shape<int32_t (T::*)(WParam)> {
    using Class = T;
    static constexpr CallShape value = WParamArg;
};
template <class T>
struct Shape<int32_t (T::*)(LParam)> {
    using Class = T;
    static constexpr CallShape value = LParamArg;
};
template <class T>
struct Shape<int32_t (T::*)(WParam, LParam)> {
    using Class = T;
    static constexpr CallShape value = BothArgs;
};

// Converts the WindowObject part to the class that owns the map (which need
// not begin with it) and calls the member with what the row hands over.
template <auto Handler, class... Args>
int32_t Call(WindowObject& object, Args... args) {
    auto& self = static_cast<typename Shape<decltype(Handler)>::Class&>(object);
    return (self.*Handler)(args...);
}
}  // namespace message_map_detail

// A handler the maps accept: a member taking (), (WParam), (LParam) or
// (WParam, LParam) and returning int32_t.
template <auto Handler>
concept MapHandler = requires {
    message_map_detail::Shape<decltype(Handler)>::value;
};

// One row: MapRow<&Class::OnSomething>(WM_COMMAND, 1022). The call shape
// follows from the handler's parameters.
template <auto Handler>
requires MapHandler<Handler>
constexpr MessageMapEntry MapRow(uint32_t message, uint32_t firstId = 0, uint32_t lastId = 0) {
    using namespace message_map_detail;
    constexpr CallShape shape = Shape<decltype(Handler)>::value;
    if constexpr (shape == NoArgs)
        return {message, firstId, lastId, shape, {.noArgs = &Call<Handler>}};
    else if constexpr (shape == WParamArg)
        return {message, firstId, lastId, shape, {.wParamArg = &Call<Handler, WParam>}};
    else if constexpr (shape == LParamArg)
        return {message, firstId, lastId, shape, {.lParamArg = &Call<Handler, LParam>}};
    else
        return {message, firstId, lastId, shape, {.bothArgs = &Call<Handler, WParam, LParam>}};
}

constexpr MessageMapEntry MapEnd{0, 0, 0, NoArgs, {.noArgs = nullptr}};

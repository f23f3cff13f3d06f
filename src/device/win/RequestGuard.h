// The guard around the write and run requests: whatever leaves the driver's
// request (a structured exception such as an access violation, a C++
// exception of a driver built with another compiler, or one of our own)
// ends there, and the program carries on.
#pragma once

// Calls request(context). True when it returned, false when an exception
// left it; the frames between the exception and the guard are abandoned.
bool CallGuarded(void (*request)(void* context), void* context);

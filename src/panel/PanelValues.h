// What the panel does to the values it reads back from its controls, before
// they are applied. Portable.
#pragma once

#include <cstdint>

#include "settings/SettingsValues.h"

// A control's answer taken as a signed 16-bit number: the combo box's -1 for
// "no selection", and the up-down control's previous position, which may
// come back with only its low 16 bits meaningful (a step of -1 as 65535) or
// sign-extended (as -1), depending on the system; both mean -1.
int32_t SignedLowWord(intptr_t answer);

// Holds the chosen amplitudes and sampling frequency inside their ranges and
// makes the amplitudes the applied ones.
void ClampChosenValues(SavedState& chosen, int32_t& appliedAmplitude1, int32_t& appliedAmplitude2);

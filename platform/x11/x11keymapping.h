// Turns what the X keyboard map says about a key into the Windows virtual-key code the engine expects.
// Pure: no display, so that every row of the table is tested on its own.
#pragma once

#include "platform/keycodes.h"

#include <string_view>

// What the keyboard map says about one physical key in the active group.
struct X11KeyDescription {
    unsigned long baseKeysym = 0;    // first level: what the key types unshifted
    unsigned long shiftedKeysym = 0; // second level: where keypad digits live
    std::string_view name;           // XKB key name such as "AC01" (the key's position), or empty
};

// The virtual-key code of a keysym on its own, or 0 when the keysym alone does not tell.
int virtualKeyFromKeysym(unsigned long keysym);

// The virtual-key code that the key at this XKB position has on a US layout, or 0.
int virtualKeyFromKeyName(std::string_view name);

// The virtual-key code of a key press: keypad keys follow NumLock as on Windows, letters, digits and
// punctuation come from the unshifted level, and keys that type neither (Cyrillic, Greek, accented
// letters) fall back to their position; KeyCode::Unknown for a key that has no virtual-key code.
int virtualKeyFor(const X11KeyDescription& key, bool numLock);

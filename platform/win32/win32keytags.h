// Marks on the keystrokes this program sends itself, so that its own hook knows them.
#pragma once

#include <cstdint>

namespace Win32KeyTag {
// dwExtraInfo of every keystroke of a paste; the last one carries pasteEnd.
constexpr std::uintptr_t paste = 0x514E4C01;
constexpr std::uintptr_t pasteEnd = 0x514E4C02;
// dwExtraInfo of keys that were held back during a paste and are sent again after it; the last one
// of a round carries replayEnd.
constexpr std::uintptr_t replay = 0x514E4C03;
constexpr std::uintptr_t replayEnd = 0x514E4C04;

constexpr bool isOurs(std::uintptr_t extraInfo) {
    return extraInfo >= paste && extraInfo <= replayEnd;
}
} // namespace Win32KeyTag

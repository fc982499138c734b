// Window lengths in twips (1/1440 inch), as the windows were designed, and screen pixels.
#pragma once

#include <optional>

// The windows were laid out on a screen of 15 twips per pixel.
inline constexpr int twipsPerPixel = 15;

// Pixels for a length in twips, rounded half to even; nothing beyond the 16 bits a window
// position or size may take.
std::optional<int> twipsToPixels(int twips);

// Converting designed lengths in twips to screen pixels.
#include "twips.h"

#include "store/localenumber.h"

std::optional<int> twipsToPixels(int twips) {
    const std::optional<std::int16_t> pixels = toInt16(double(twips) / twipsPerPixel);
    if (!pixels)
        return std::nullopt;
    return *pixels;
}

#pragma once

// Frames of a given type and size for the core tests.

#include "kiss_bytes.h"

namespace kesta::test {

// A frame of `size` bytes: command byte 0x00, `fill` elsewhere, type at byte 17.
inline Bytes Frame(std::uint8_t type, std::size_t size, std::uint8_t fill = 0x11)
{
    Bytes f(size, fill);
    if (!f.empty())
        f[0] = 0x00;
    if (size > 17)
        f[17] = type;
    return f;
}

} // namespace kesta::test

#pragma once

// KISS byte streams for tests: frames between FENDs with FEND and FESC escaped,
// and the timestamp frames ground-station software writes before each frame.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kesta::test {

using Bytes = std::vector<std::uint8_t>;

// KISS-encodes one frame: FEND, escaped bytes, FEND.
inline Bytes Kiss(const Bytes &frame)
{
    Bytes out{0xC0};
    for (const std::uint8_t b : frame) {
        if (b == 0xC0) {
            out.push_back(0xDB);
            out.push_back(0xDC);
        } else if (b == 0xDB) {
            out.push_back(0xDB);
            out.push_back(0xDD);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0xC0);
    return out;
}

inline Bytes Kiss(std::initializer_list<Bytes> frames)
{
    Bytes out;
    for (const Bytes &f : frames) {
        const Bytes k = Kiss(f);
        out.insert(out.end(), k.begin(), k.end());
    }
    return out;
}

// The timestamp frame: 0x09 and the reception time in milliseconds, big-endian.
inline Bytes Timestamp(std::uint64_t ms)
{
    Bytes f{0x09};
    for (int shift = 56; shift >= 0; shift -= 8)
        f.push_back(static_cast<std::uint8_t>(ms >> shift));
    return f;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace kesta::test

#pragma once

// Hand-built KISS logs and a scratch folder for the output and command-line tests.

#include "kiss_bytes.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <iterator>
#include <stdlib.h>
#include <string>
#include <vector>

namespace kesta::testing {

using test::Bytes;
using test::Concat;
using test::Kiss;
using test::Timestamp;

// A frame of `type` (byte 17) with `body` from byte 18 on; bytes 0 to 16 are zero.
inline Bytes Frame(std::uint8_t type, const Bytes &body)
{
    // Sized once and filled in place: growing an 18-byte vector by insert() makes
    // GCC 12 at -O3 warn falsely (-Warray-bounds) about the copy.
    Bytes f(18 + body.size(), 0);
    f[17] = type;
    std::copy(body.begin(), body.end(), f.begin() + 18);
    return f;
}

// HTRX telemetry, 64 bytes: counter, movement flag, RSSI byte, then 43 bytes i + 1.
inline Bytes HtrxFrame(std::uint16_t counter, std::uint8_t flag, std::uint8_t rssi)
{
    Bytes body{static_cast<std::uint8_t>(counter >> 8), static_cast<std::uint8_t>(counter), flag,
               rssi};
    for (std::uint8_t i = 0; body.size() < 46; ++i) {
        body.push_back(static_cast<std::uint8_t>(i + 1));
    }
    return Frame(1, body);
}

// FSS telemetry, 85 bytes: mode status, frame counter and the 65 payload bytes.
inline Bytes FssFrame(std::uint8_t modeStatus, std::uint8_t counter, Bytes payload)
{
    payload.resize(65, 0);
    Bytes body{modeStatus, counter};
    body.insert(body.end(), payload.begin(), payload.end());
    return Frame(2, body);
}

// FSS message frame (mode 12) carrying `text`, padded with spaces to 65 bytes.
inline Bytes MessageFrame(std::uint8_t counter, const std::string &text)
{
    Bytes payload(text.begin(), text.end());
    payload.resize(65, ' ');
    return FssFrame(0xC3, counter, payload);
}

// FSS Hi-mode, 88 bytes.
inline Bytes HiModeFrame(std::uint8_t upper, std::uint8_t lower, std::uint8_t size,
                         std::uint8_t modeStatus, std::uint8_t counter, std::uint8_t element)
{
    Bytes body{upper, lower, size, modeStatus, counter};
    body.resize(body.size() + 64, 0x10);
    body.push_back(element);
    return Frame(4, body);
}

inline std::string HexOf(const Bytes &bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s;
    for (const std::uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 0xF];
    }
    return s;
}

inline std::string AsText(const Bytes &bytes)
{
    return {bytes.begin(), bytes.end()};
}

inline std::string ReadFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline void WriteFile(const std::filesystem::path &path, const Bytes &content)
{
    WriteFile(path, AsText(content));
}

// A fresh folder for one test, removed with everything in it afterwards.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kesta-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot create a scratch folder";
        }
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }

    // Writes `content` as the file `name` in the folder; returns its path.
    std::string write(const std::string &name, const Bytes &content) const
    {
        const std::string path = *this / name;
        WriteFile(path, content);
        return path;
    }

    // The names in the folder, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const auto &entry : std::filesystem::directory_iterator(path_)) {
            result.push_back(entry.path().filename().string());
        }
        std::sort(result.begin(), result.end());
        return result;
    }

private:
    std::filesystem::path path_;
};

} // namespace kesta::testing

#include "log_generator.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

namespace kesta::loggen {

namespace {

constexpr std::uint8_t Fend = 0xC0;
constexpr std::uint8_t Fesc = 0xDB;
constexpr std::uint8_t Tfend = 0xDC;
constexpr std::uint8_t Tfesc = 0xDD;

constexpr std::size_t TypeByte = 17;
constexpr std::size_t HtrxLength = 64;
constexpr std::size_t FssLength = 85;
constexpr std::size_t FssHiLength = 88;
constexpr std::size_t MaxFrame = 512;

// AX.25 addresses: six characters shifted left by one, then the SSID byte.
constexpr std::array<std::uint8_t, 17> Header{
    0x00, // KISS command: data frame, port 0
    'K' << 1, 'S' << 1, '1' << 1, 'G' << 1, 'N' << 1, 'D' << 1, 0x60, // destination KS1GND-0
    'K' << 1, 'E' << 1, 'S' << 1, 'T' << 1, 'A' << 1, '1' << 1, 0x61, // source KESTA1-0, last
    0x03,                                                             // control: UI frame
    0xF0,                                                             // PID: no layer 3
};

constexpr std::array<std::string_view, 10> Messages{
    "KESTA-1 FSS: sun sensor nominal, all 64 elements responding",
    "HELLO FROM KESTA-1! 73 TO ALL STATIONS, QSL VIA BUREAU",
    "FSS ALG2 CALIBRATION DONE, THRESHOLD TABLE UPDATED",
    "KESTA-1 BATTERY 7.9V TEMP +12C, PANELS OK",
    "FSS: ECLIPSE EXIT DETECTED, RESUMING NORMAL MODE",
    "GREETINGS FROM ORBIT - PLEASE SEND YOUR LOGS TO THE TEAM",
    "FSS HI-MODE MEMORY DUMP SCHEDULED FOR NEXT PASS",
    "KESTA-1 CCU: WATCHDOG RESET COUNT 0, UPTIME NOMINAL",
    "FSS: SPOT TRACKING LOCKED, ELEMENT WIDTH 3",
    "THANK YOU FOR TRACKING KESTA-1",
};

bool special(std::uint8_t b)
{
    return b == Fend || b == Fesc || b == Tfend || b == Tfesc;
}

void appendEscaped(std::vector<std::uint8_t> &out, std::uint8_t b)
{
    if (b == Fend) {
        out.push_back(Fesc);
        out.push_back(Tfend);
    } else if (b == Fesc) {
        out.push_back(Fesc);
        out.push_back(Tfesc);
    } else {
        out.push_back(b);
    }
}

std::int32_t clamp(std::int32_t v, std::int32_t lo, std::int32_t hi)
{
    return std::min(std::max(v, lo), hi);
}

} // namespace

// SplitMix64: tiny, fast and fully specified, unlike the std:: distributions,
// whose output differs between standard libraries.
std::uint64_t LogGenerator::Rng::next()
{
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t LogGenerator::Rng::below(std::uint32_t bound)
{
    return static_cast<std::uint32_t>(((next() >> 32) * bound) >> 32);
}

std::int32_t LogGenerator::Rng::between(std::int32_t lo, std::int32_t hi)
{
    return lo + static_cast<std::int32_t>(below(static_cast<std::uint32_t>(hi - lo + 1)));
}

LogGenerator::LogGenerator(const GeneratorOptions &options, FrameObserver observer)
    : options_(options), observer_(std::move(observer)), rng_{options.seed},
      clockMs_(options.startTimeMs)
{
    frame_.reserve(1024);
    for (auto &b : ccu_) {
        b = static_cast<std::uint8_t>(rng_.below(256));
    }
    ccuTime_ = static_cast<std::uint16_t>(rng_.below(40000));
    htrxCounter_ = static_cast<std::uint16_t>(rng_.below(60000));
    passLength_ = static_cast<std::uint32_t>(rng_.between(300, 700));
}

bool LogGenerator::done() const
{
    if (options_.targetBytes != 0) {
        return summary_.bytes >= options_.targetBytes;
    }
    return piecesWritten_ >= options_.frames;
}

bool LogGenerator::next(std::vector<std::uint8_t> &out)
{
    if (finished_) {
        return false;
    }
    const std::size_t before = out.size();
    if (done()) {
        finished_ = true;
        if (options_.malformed) {
            // The recording stopped in the middle of a frame.
            buildHeader();
            frame_.push_back(1);
            const auto keep = static_cast<std::size_t>(rng_.between(3, 40));
            out.push_back(Fend);
            for (std::size_t i = 0; i < keep; ++i) {
                appendEscaped(out, i < frame_.size() ? frame_[i] : 0x55);
            }
            summary_.unterminatedTail = true;
            summary_.bytes += out.size() - before;
        }
        return false;
    }

    if (options_.malformed) {
        emitJunk(out);
    }
    advanceClock();
    if (options_.timestamps) {
        emitTimestamp(out);
    }

    FrameKind kind;
    if (options_.oversized && rng_.chance(10)) {
        kind = FrameKind::Oversized;
        buildOversized();
    } else {
        const std::uint32_t roll = rng_.below(1000);
        if (roll < 300) {
            kind = FrameKind::Htrx;
            buildHtrx();
        } else if (roll < 790) {
            kind = FrameKind::FssNormal;
            buildFss(kind);
        } else if (roll < 940) {
            kind = FrameKind::FssHi;
            buildFssHi();
        } else if (roll < 980) {
            kind = FrameKind::FssStandby;
            buildFss(kind);
        } else {
            kind = FrameKind::FssMessage;
            buildFss(kind);
        }
    }

    bool shortened = false;
    if (options_.shortFrames && kind != FrameKind::Oversized && rng_.chance(30)) {
        frame_.resize(static_cast<std::size_t>(
            rng_.between(3, static_cast<std::int32_t>(frame_.size()) - 1)));
        shortened = true;
    }
    std::size_t badEscapeAt = 0;
    if (options_.malformed && kind != FrameKind::Oversized && rng_.chance(10) &&
        frame_.size() > TypeByte + 1) {
        badEscapeAt = static_cast<std::size_t>(
            rng_.between(TypeByte + 1, static_cast<std::int32_t>(frame_.size())));
        // FESC followed by an ordinary printable byte instead of TFEND/TFESC.
        const auto wrong = static_cast<std::uint8_t>(rng_.between(0x20, 0x7E));
        frame_.insert(frame_.begin() + static_cast<std::ptrdiff_t>(badEscapeAt), {Fesc, wrong});
    }
    emitFrame(out, kind, shortened, badEscapeAt);
    ++piecesWritten_;
    summary_.bytes += out.size() - before;
    return true;
}

void LogGenerator::advanceClock()
{
    if (framesInPass_ >= passLength_) {
        // Loss of signal; the next pass comes about one orbit later, with the sun
        // spot starting over at the edge of the sensor.
        framesInPass_ = 0;
        passLength_ = static_cast<std::uint32_t>(rng_.between(300, 700));
        clockMs_ += 5'400'000 + rng_.between(0, 900'000);
        ccuTime_ = static_cast<std::uint16_t>(ccuTime_ + 5400);
        spotPos_ = rng_.between(0, 64);
        spotSpeed_ = rng_.between(2, 5);
    } else {
        const std::int32_t step = rng_.between(1500, 2600);
        clockMs_ += step;
        ccuTime_ = static_cast<std::uint16_t>(ccuTime_ + (step + 500) / 1000);
    }
    ++framesInPass_;
}

void LogGenerator::buildHeader()
{
    frame_.assign(Header.begin(), Header.end());
}

void LogGenerator::buildHtrx()
{
    buildHeader();
    frame_.push_back(1);
    ++htrxCounter_;
    frame_.push_back(static_cast<std::uint8_t>(htrxCounter_ >> 8));
    frame_.push_back(static_cast<std::uint8_t>(htrxCounter_ & 0xFF));
    if (rng_.chance(15)) {
        movementFlag_ ^= static_cast<std::uint8_t>(1u << rng_.below(8));
    }
    frame_.push_back(movementFlag_);

    // Signal strongest in the middle of the pass: a low byte is a high RSSI.
    const auto len = static_cast<std::int32_t>(passLength_);
    const std::int32_t off = std::abs(2 * static_cast<std::int32_t>(framesInPass_) - len);
    const std::int32_t rssi = 55 + 130 * off / len * off / len + rng_.between(-5, 5);
    frame_.push_back(static_cast<std::uint8_t>(clamp(rssi, 0, 255)));

    auto drift = [this](std::int32_t &v, std::int32_t centre, std::int32_t spread) {
        v += rng_.between(-2, 2) + (v < centre ? 1 : v > centre ? -1 : 0);
        v = clamp(v, centre - spread, centre + spread);
        return static_cast<std::uint8_t>(v);
    };
    frame_.push_back(drift(hrxCurrent_, 95, 25));
    frame_.push_back(drift(htxCurrent_, 180, 60));
    frame_.push_back(static_cast<std::uint8_t>(rng_.below(256))); // not decoded
    frame_.push_back(drift(tncCurrent_, 48, 12));
    frame_.push_back(drift(fssCurrent_, 72, 20));
    if (rng_.chance(10)) {
        fssStatus_ ^= static_cast<std::uint8_t>(1u << rng_.below(8));
    }
    frame_.push_back(fssStatus_);
    frame_.push_back(fssCounter_);
    frame_.push_back(lastElementNumber_);
    frame_.push_back(static_cast<std::uint8_t>(ccuTime_ >> 8));
    frame_.push_back(static_cast<std::uint8_t>(ccuTime_ & 0xFF));
    for (auto &b : ccu_) {
        b = static_cast<std::uint8_t>(b + rng_.between(-2, 2));
        frame_.push_back(b);
    }
}

void LogGenerator::fillLightElements(std::uint8_t *elements, std::uint8_t &elementNumber)
{
    spotPos_ += spotSpeed_;
    if (spotPos_ >= 64 * 16) {
        spotPos_ -= 64 * 16;
    }
    spotPeak_ = clamp(spotPeak_ + rng_.between(-6, 6), 150, 255);

    const std::uint32_t roll = rng_.below(1000);
    const bool dark = roll < 15; // in eclipse or the sun outside the field of view
    // A spot about four elements wide with a parabolic profile.
    constexpr std::int32_t Radius = 4 * 16;
    for (std::int32_t i = 0; i < 64; ++i) {
        std::int32_t v = rng_.between(2, 12);
        const std::int32_t dx = i * 16 + 8 - spotPos_;
        if (!dark && dx > -Radius && dx < Radius) {
            v += spotPeak_ - spotPeak_ * dx * dx / (Radius * Radius);
        }
        elements[i] = static_cast<std::uint8_t>(clamp(v, 0, 255));
    }
    if (dark) {
        elementNumber = 0;
    } else if (roll < 25) {
        elementNumber = static_cast<std::uint8_t>(rng_.between(46, 64)); // off the angle table
    } else if (roll < 30) {
        elementNumber = static_cast<std::uint8_t>(rng_.between(65, 255)); // out of range
    } else {
        elementNumber = static_cast<std::uint8_t>(1 + (spotPos_ / 16) * 45 / 64);
    }
    lastElementNumber_ = elementNumber;
}

void LogGenerator::buildFss(FrameKind kind)
{
    buildHeader();
    frame_.push_back(2);
    if (rng_.chance(20)) {
        fssMode_ = static_cast<std::uint8_t>(rng_.between(4, 7));
    }
    if (rng_.chance(20)) {
        thresholdStep_ = static_cast<std::uint8_t>(rng_.below(16));
    }
    std::uint8_t mode = fssMode_;
    if (kind == FrameKind::FssStandby) {
        mode = 0;
    } else if (kind == FrameKind::FssMessage) {
        mode = 12;
    }
    frame_.push_back(static_cast<std::uint8_t>(mode << 4 | thresholdStep_));
    frame_.push_back(++fssFrameCounter_);
    ++fssCounter_;

    const std::size_t start = frame_.size();
    frame_.resize(FssLength);
    if (kind == FrameKind::FssNormal) {
        fillLightElements(&frame_[start], frame_[FssLength - 1]);
    } else if (kind == FrameKind::FssMessage) {
        const std::string_view text = Messages[messageIndex_++ % Messages.size()];
        for (std::size_t i = 0; i < 65; ++i) {
            frame_[start + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
        }
    } else {
        for (std::size_t i = start; i < FssLength; ++i) {
            frame_[i] = 0;
        }
    }
}

void LogGenerator::buildFssHi()
{
    buildHeader();
    frame_.push_back(4);
    frame_.push_back(static_cast<std::uint8_t>(hiAddress_ >> 8));
    frame_.push_back(static_cast<std::uint8_t>(hiAddress_ & 0xFF));
    frame_.push_back(64);
    hiAddress_ = static_cast<std::uint16_t>(hiAddress_ + 64);
    frame_.push_back(static_cast<std::uint8_t>(fssMode_ << 4 | thresholdStep_));
    frame_.push_back(++fssFrameCounter_);
    ++fssCounter_;
    const std::size_t start = frame_.size();
    frame_.resize(FssHiLength);
    fillLightElements(&frame_[start], frame_[FssHiLength - 1]);
}

void LogGenerator::buildOversized()
{
    buildHeader();
    static constexpr std::array<std::uint8_t, 3> Types{1, 2, 4};
    frame_.push_back(Types[rng_.below(3)]);
    const auto length = static_cast<std::size_t>(rng_.between(MaxFrame + 1, 900));
    while (frame_.size() < length) {
        frame_.push_back(static_cast<std::uint8_t>(rng_.below(256)));
    }
}

void LogGenerator::emitFrame(std::vector<std::uint8_t> &out, FrameKind kind, bool shortened,
                             std::size_t badEscapeAt)
{
    out.push_back(Fend);
    for (std::size_t i = 0; i < frame_.size(); ++i) {
        if (badEscapeAt != 0 && i == badEscapeAt) {
            out.push_back(frame_[i]); // the FESC, left without its escape code
        } else {
            appendEscaped(out, frame_[i]);
        }
    }
    out.push_back(Fend);

    if (kind == FrameKind::Oversized) {
        ++summary_.oversizedFrames;
    } else {
        ++summary_.telemetryFrames;
        if (shortened) {
            ++summary_.shortFrames;
        }
        if (badEscapeAt != 0) {
            ++summary_.badEscapes;
        }
        if (frame_.size() <= TypeByte) {
            ++summary_.untypedFrames;
        } else if (kind == FrameKind::Htrx) {
            ++summary_.htrxFrames;
        } else if (kind == FrameKind::FssHi) {
            ++summary_.fssHiFrames;
        } else {
            ++summary_.fssFrames;
            if (kind == FrameKind::FssMessage && !shortened) {
                ++summary_.messageFrames;
            }
        }
    }
    if (observer_) {
        observer_(GeneratedFrame{kind, frame_, clockMs_, options_.timestamps, shortened,
                                 badEscapeAt != 0});
    }
}

void LogGenerator::emitTimestamp(std::vector<std::uint8_t> &out)
{
    out.push_back(Fend);
    appendEscaped(out, 0x09);
    const auto t = static_cast<std::uint64_t>(clockMs_);
    for (int shift = 56; shift >= 0; shift -= 8) {
        appendEscaped(out, static_cast<std::uint8_t>(t >> shift));
    }
    out.push_back(Fend);
    ++summary_.timestampFrames;
}

void LogGenerator::emitJunk(std::vector<std::uint8_t> &out)
{
    if (rng_.chance(20)) {
        // Noise between frames: any byte but FEND, escape codes included.
        const std::int32_t n = rng_.between(1, 8);
        for (std::int32_t i = 0; i < n; ++i) {
            std::uint8_t b = static_cast<std::uint8_t>(rng_.below(256));
            if (b == Fend) {
                b = Tfend;
            }
            out.push_back(b);
        }
        summary_.strayBytes += static_cast<std::uint64_t>(n);
    }
    if (rng_.chance(10)) {
        // A runt: one or two ordinary bytes between a pair of FENDs.
        out.push_back(Fend);
        const std::int32_t n = rng_.between(1, 2);
        for (std::int32_t i = 0; i < n; ++i) {
            std::uint8_t b;
            do {
                b = static_cast<std::uint8_t>(rng_.below(256));
            } while (special(b));
            out.push_back(b);
        }
        out.push_back(Fend);
        ++summary_.runtFrames;
    }
    if (rng_.chance(20)) {
        const std::int32_t n = rng_.between(1, 3);
        out.insert(out.end(), static_cast<std::size_t>(n), Fend);
    }
}

std::vector<std::uint8_t> GenerateLog(const GeneratorOptions &options, GeneratedLogSummary *summary)
{
    std::vector<std::uint8_t> out;
    if (options.targetBytes != 0) {
        out.reserve(static_cast<std::size_t>(options.targetBytes + 4096));
    } else {
        out.reserve(static_cast<std::size_t>(options.frames * 120 + 64));
    }
    LogGenerator generator(options);
    while (generator.next(out)) {
    }
    if (summary != nullptr) {
        *summary = generator.summary();
    }
    return out;
}

} // namespace kesta::loggen

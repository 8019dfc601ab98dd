#include "frame_decoder.h"
#include "frames.h"
#include "value_text.h"

#include <array>
#include <gtest/gtest.h>
#include <string>

using namespace kesta;
using namespace kesta::test;

namespace {

struct Decoded
{
    TelemetryRecord r;
    FrameCounters counters;
    DecodeResult result;
    std::string message;
};

Decoded Decode(const Bytes &frame)
{
    Decoded d;
    d.result = DecodeFrame(frame, d.r, d.counters);
    d.message.assign(d.result.message.begin(), d.result.message.end());
    return d;
}

Bytes Htrx()
{
    return Frame(1, 64, 0x00);
}

TEST(DecodeHtrx, FormulasAndFields)
{
    Bytes f = Htrx();
    f[18] = 0x12;
    f[19] = 0x34;
    f[20] = 0x81;
    f[21] = 255;
    f[22] = 100;
    f[23] = 255;
    f[25] = 22;
    f[26] = 1;
    f[27] = 0x05;
    f[28] = 200;
    f[29] = 7;
    f[30] = 0xFF;
    f[31] = 0xFF;
    f[32] = 0x05;
    f[33] = 0xAB;
    const Decoded d = Decode(f);
    EXPECT_EQ(KindText(d.r.FrameKind), "HTRX Telemetry");
    EXPECT_EQ(d.r.Type, FrameType::Htrx);
    EXPECT_EQ(d.r.HtrxCounter, 4660);
    EXPECT_EQ(d.r.MovementFlag, 0x81);
    EXPECT_EQ(ValueText(d.r.Rssi), "-40.749");
    EXPECT_EQ(ValueText(d.r.HrxCurrent), "1.09");
    EXPECT_EQ(ValueText(d.r.HtxCurrent), "2.7795");
    EXPECT_EQ(ValueText(d.r.TncCurrent), "0.2398");
    EXPECT_EQ(ValueText(d.r.FssCurrent), "0.0109");
    EXPECT_EQ(d.r.FssStatus, 5);
    EXPECT_EQ(d.r.FssCounter, 200);
    EXPECT_EQ(d.r.FssAngleData, 7);
    EXPECT_EQ(d.r.CcuTime, 65535);
    EXPECT_EQ(d.r.CcuTelemetry.size(), 64u);
    EXPECT_EQ(d.r.CcuTelemetry.substr(0, 6), "05AB00");
    EXPECT_EQ(d.counters.HtrxCount, 1);
    EXPECT_EQ(d.result.countedAs, FrameType::Htrx);
    EXPECT_TRUE(d.message.empty());
    for (const Field written :
         {Field::FrameKind, Field::HtrxCounter, Field::CcuTelemetry, Field::Rssi})
        EXPECT_TRUE(d.r.Written.test(written));
    for (const Field untouched :
         {Field::ModeStatus, Field::LightElements, Field::Angle, Field::RawHex})
        EXPECT_FALSE(d.r.Written.test(untouched));
}

TEST(DecodeHtrx, RssiOfZeroByte)
{
    const Decoded d = Decode(Htrx());
    EXPECT_EQ(ValueText(d.r.Rssi), "32.946");
}

struct FssCase
{
    std::uint8_t modeStatus;
    const char *kind; // nullptr: FrameKind not written
    bool normal;
    std::int16_t threshold;
};

class DecodeFss : public testing::TestWithParam<FssCase>
{};

TEST_P(DecodeFss, ModeSelectsKind)
{
    const FssCase &c = GetParam();
    Bytes f = Frame(2, 85, 0x20);
    f[18] = c.modeStatus;
    f[19] = 9;
    f[84] = 2;
    const Decoded d = Decode(f);
    EXPECT_EQ(d.r.ModeStatus, c.modeStatus);
    EXPECT_EQ(d.r.FssFrameCounter, 9);
    EXPECT_EQ(d.counters.FssCount, 1);
    EXPECT_EQ(d.r.Written.test(Field::FrameKind), c.kind != nullptr);
    EXPECT_EQ(KindText(d.r.FrameKind), c.kind ? c.kind : "");
    // A mode that names no kind is still an FSS frame by its type.
    EXPECT_EQ(d.r.Type, FrameType::Fss);
    EXPECT_EQ(d.r.Written.test(Field::Threshold), c.normal);
    EXPECT_EQ(d.r.Written.test(Field::LightElements), c.normal);
    EXPECT_EQ(d.r.Written.test(Field::ElementNumber), c.normal);
    EXPECT_EQ(d.r.Written.test(Field::Angle), c.normal);
    if (c.normal) {
        EXPECT_EQ(d.r.Threshold, c.threshold);
        EXPECT_EQ(FieldValueText(d.r, Field::LightElements).size(), 128u);
        EXPECT_EQ(d.r.LightElements[0], 0x20);
        EXPECT_EQ(d.r.LightElements[63], 0x20);
        EXPECT_EQ(d.r.ElementNumber, 2);
        EXPECT_EQ(ValueText(d.r.Angle), "84.5");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, DecodeFss,
                         testing::Values(FssCase{0x47, "FSS Telemetry (normal)", true, 61},
                                         FssCase{0x50, "FSS Telemetry (normal)", true, 5},
                                         FssCase{0x6F, "FSS Telemetry (normal, alg. 2)", true, 125},
                                         FssCase{0x71, "FSS Telemetry (normal, alg. 2)", true, 13},
                                         FssCase{0x0F, "FSS Telemetry (standby)", false, 0},
                                         FssCase{0x30, nullptr, false, 0},
                                         FssCase{0x80, nullptr, false, 0},
                                         FssCase{0xF0, nullptr, false, 0}),
                         [](const auto &info) {
                             return "Mode" + HexText(std::array{info.param.modeStatus});
                         });

TEST(DecodeFssMessage, TextIsTheSixtyFiveBytesAsTheyStand)
{
    Bytes f = Frame(2, 85, 0x41);
    f[18] = 0xC3;
    f[20] = 0x00;
    f[21] = 0xE9;
    f[84] = 0x5A;
    const Decoded d = Decode(f);
    EXPECT_EQ(KindText(d.r.FrameKind), "FSS Telemetry (message)");
    ASSERT_EQ(d.r.MessageText.size(), 65u);
    EXPECT_EQ(d.r.MessageText[0], '\0');
    EXPECT_EQ(static_cast<unsigned char>(d.r.MessageText[1]), 0xE9);
    EXPECT_EQ(d.r.MessageText[64], 'Z');
    EXPECT_EQ(d.message, d.r.MessageText);
    EXPECT_FALSE(d.r.Written.test(Field::Threshold));
}

struct ElementCase
{
    std::uint8_t element;
    bool elementWritten;
    std::uint8_t elementNumber;
    bool angleWritten;
    const char *angle;
};

class DecodeElement : public testing::TestWithParam<ElementCase>
{};

TEST_P(DecodeElement, AngleLookup)
{
    const ElementCase &c = GetParam();
    for (const auto &[type, size, at] : {std::tuple{2, 85, 84}, std::tuple{4, 88, 87}}) {
        Bytes f = Frame(static_cast<std::uint8_t>(type), static_cast<std::size_t>(size));
        f[18] = 0x40;
        f[static_cast<std::size_t>(at)] = c.element;
        const Decoded d = Decode(f);
        EXPECT_EQ(d.r.Written.test(Field::ElementNumber), c.elementWritten) << "type " << type;
        EXPECT_EQ(d.r.ElementNumber, c.elementNumber) << "type " << type;
        EXPECT_EQ(d.r.Written.test(Field::Angle), c.angleWritten) << "type " << type;
        EXPECT_EQ(ValueText(d.r.Angle), c.angle) << "type " << type;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Elements, DecodeElement,
    testing::Values(ElementCase{1, true, 1, true, "86.5"}, ElementCase{4, true, 4, true, "81"},
                    ElementCase{45, true, 45, true, "29.5"}, ElementCase{0, true, 0, false, "0"},
                    ElementCase{46, true, 46, false, "0"}, ElementCase{50, true, 50, false, "0"},
                    ElementCase{64, true, 64, false, "0"}, ElementCase{65, false, 0, false, "0"},
                    ElementCase{255, false, 0, false, "0"}),
    [](const auto &info) { return "Element" + std::to_string(info.param.element); });

TEST(DecodeFssHi, Fields)
{
    Bytes f = Frame(4, 88, 0x01);
    f[18] = 0xA1;
    f[19] = 0xA2;
    f[20] = 0x40;
    f[21] = 0x6F; // mode is not evaluated for Hi-mode frames
    f[22] = 0x33;
    f[23] = 0xFF;
    f[86] = 0x1F;
    f[87] = 10;
    const Decoded d = Decode(f);
    EXPECT_EQ(KindText(d.r.FrameKind), "FSS Telemetry Hi-Mode");
    EXPECT_EQ(d.r.Type, FrameType::FssHi);
    EXPECT_EQ(d.r.HiUpperAddress, 0xA1);
    EXPECT_EQ(d.r.HiLowerAddress, 0xA2);
    EXPECT_EQ(d.r.HiDataSize, 0x40);
    EXPECT_EQ(d.r.ModeStatus, 0x6F);
    EXPECT_EQ(d.r.FssFrameCounter, 0x33);
    const std::string lights = FieldValueText(d.r, Field::LightElements);
    EXPECT_EQ(lights.substr(0, 4), "FF01");
    EXPECT_EQ(lights.substr(124), "011F");
    EXPECT_EQ(ValueText(d.r.Angle), "70.5");
    EXPECT_FALSE(d.r.Written.test(Field::Threshold));
    EXPECT_EQ(d.counters.FssHiCount, 1);
}

TEST(DecodeOtherTypes, CountNothingWriteNothing)
{
    for (const std::uint8_t type : {0, 3, 5, 255}) {
        const Decoded d = Decode(Frame(type, 90));
        EXPECT_TRUE(d.r.Written.empty()) << int(type);
        EXPECT_EQ(d.counters.HtrxCount + d.counters.FssCount + d.counters.FssHiCount, 0);
        EXPECT_EQ(d.result.countedAs, FrameType::None);
    }
}

// A field is written only when all of its bytes lie inside the frame.
struct ShortCase
{
    std::uint8_t type;
    std::uint8_t mode;
    std::size_t size;
    FrameType counted;
    std::vector<Field> written;
    std::vector<Field> notWritten;
};

class DecodeShort : public testing::TestWithParam<ShortCase>
{};

TEST_P(DecodeShort, WritesOnlyFieldsInsideTheFrame)
{
    const ShortCase &c = GetParam();
    // Bytes past the end are poison: they must never show up in the record.
    Bytes full = Frame(c.type, 600, 0x7E);
    if (c.size > 18)
        full[18] = c.mode;
    const Bytes frame(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.size));
    const Decoded d = Decode(frame);
    EXPECT_EQ(d.result.countedAs, c.counted);
    for (const Field f : c.written)
        EXPECT_TRUE(d.r.Written.test(f)) << InfoOf(f).name;
    for (const Field f : c.notWritten)
        EXPECT_FALSE(d.r.Written.test(f)) << InfoOf(f).name;
    EXPECT_TRUE(d.message.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DecodeShort,
    testing::Values(
        ShortCase{1, 0, 17, FrameType::None, {}, {Field::FrameKind, Field::HtrxCounter}},
        ShortCase{1, 0, 18, FrameType::Htrx, {Field::FrameKind}, {Field::HtrxCounter}},
        ShortCase{1, 0, 19, FrameType::Htrx, {Field::FrameKind}, {Field::HtrxCounter}},
        ShortCase{1,
                  0,
                  22,
                  FrameType::Htrx,
                  {Field::HtrxCounter, Field::MovementFlag, Field::Rssi},
                  {Field::HrxCurrent}},
        ShortCase{1, 0, 63, FrameType::Htrx, {Field::CcuTime}, {Field::CcuTelemetry}},
        ShortCase{1, 0, 64, FrameType::Htrx, {Field::CcuTelemetry}, {}},
        ShortCase{2,
                  0x45,
                  19,
                  FrameType::Fss,
                  {Field::ModeStatus, Field::FrameKind, Field::Threshold},
                  {Field::FssFrameCounter, Field::LightElements}},
        ShortCase{2,
                  0x45,
                  84,
                  FrameType::Fss,
                  {Field::LightElements},
                  {Field::ElementNumber, Field::Angle}},
        ShortCase{2, 0xC0, 84, FrameType::Fss, {Field::FrameKind}, {Field::MessageText}},
        ShortCase{2, 0xC0, 18, FrameType::Fss, {}, {Field::ModeStatus, Field::FrameKind}},
        ShortCase{4,
                  0,
                  87,
                  FrameType::FssHi,
                  {Field::LightElements, Field::FssFrameCounter},
                  {Field::ElementNumber}},
        ShortCase{4, 0, 22, FrameType::FssHi, {Field::ModeStatus}, {Field::FssFrameCounter}}),
    [](const auto &info) {
        return "Type" + std::to_string(info.param.type) + "Mode" +
               HexText(std::array{info.param.mode}) + "Size" + std::to_string(info.param.size);
    });

} // namespace

#include "parameter_catalogue.h"
#include "value_text.h"

#include <gtest/gtest.h>
#include <set>

using namespace kesta;

namespace {

// What a user reads and hears of each field must let every field be told apart: the
// record table's headers and the screen reader's names are the spoken names, the exports'
// keys the names.
TEST(Fields, NamesAndSpokenNamesAreUnique)
{
    std::set<std::string_view> names;
    std::set<std::string_view> spoken;
    for (const FieldInfo &f : Fields) {
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
        EXPECT_TRUE(spoken.insert(f.spoken).second) << f.spoken;
        EXPECT_FALSE(f.spoken.empty()) << f.name;
    }
}

// A value is written as its format says: a status byte as eight bits, bytes as hex text,
// numbers as value text; a field the frame did not write has no hex text.
TEST(Fields, ValuesAreWrittenAsTheirFormatSays)
{
    TelemetryRecord r;
    r.FssStatus = 0x81;
    r.LightElements[0] = 0xAB;
    r.Written.set(Field::LightElements);
    EXPECT_EQ(FieldValueText(r, Field::FssStatus), "129");
    EXPECT_EQ(ByteToBits(r.FssStatus), "10000001");
    EXPECT_EQ(FieldValueText(r, Field::LightElements), "AB" + std::string(126, '0'));
    r.Written.clear();
    EXPECT_EQ(FieldValueText(r, Field::LightElements), "");
    int bits = 0;
    for (const FieldInfo &f : Fields)
        bits += f.format == DisplayFormat::Bits;
    EXPECT_EQ(bits, 3); // movement flag, FSS status, mode status
}

TEST(AngleTable, FallsFrom86_5To29_5)
{
    EXPECT_EQ(AngleForElement(0), std::nullopt);
    EXPECT_EQ(AngleForElement(46), std::nullopt);
    EXPECT_EQ(AngleForElement(64), std::nullopt);
    float previous = 90;
    for (std::uint8_t e = 1; e <= 45; ++e) {
        const auto angle = AngleForElement(e);
        ASSERT_TRUE(angle) << int(e);
        EXPECT_LT(*angle, previous) << int(e);
        EXPECT_EQ(ValueText(*angle), AngleTable[e]) << int(e);
        previous = *angle;
    }
    EXPECT_EQ(*AngleForElement(1), 86.5f);
    EXPECT_EQ(*AngleForElement(45), 29.5f);
}

TEST(TelemetryRecord, ClearMakesItFresh)
{
    TelemetryRecord r;
    r.RawHex = "00";
    r.Rssi = 3;
    r.Angle = 4;
    r.ReceptionTime = 5;
    r.Written.set(Field::Rssi);
    r.clear();
    for (const FieldInfo &f : Fields) {
        EXPECT_EQ(FieldNumber(r, f.field).value_or(0), 0) << f.name;
        EXPECT_EQ(FieldValueText(r, f.field).find_first_not_of('0'), std::string::npos) << f.name;
    }
    EXPECT_FALSE(r.ReceptionTime);
    EXPECT_TRUE(r.Written.empty());
}

} // namespace

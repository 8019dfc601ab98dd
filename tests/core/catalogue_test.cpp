#include "parameter_catalogue.h"
#include "value_text.h"

#include <gtest/gtest.h>
#include <set>

using namespace kesta;

namespace {

TEST(ParameterCatalogue, EntriesAreConsistent)
{
    std::set<Field> fields;
    for (std::size_t i = 0; i < ParameterCatalogue.size(); ++i) {
        const ParameterEntry &e = ParameterCatalogue[i];
        EXPECT_EQ(e.index, static_cast<std::int16_t>(i));
        EXPECT_EQ(e.name.size(), 15u) << i;
        if (e.field) {
            EXPECT_TRUE(fields.insert(*e.field).second) << "field used twice at " << i;
            // A parameter can be charted exactly when its field is a number.
            EXPECT_EQ(e.chartable, IsNumeric(InfoOf(*e.field).type)) << i;
        } else {
            EXPECT_FALSE(e.chartable);
        }
    }
    EXPECT_FALSE(ParameterCatalogue[5].field.has_value());
    EXPECT_EQ(ParameterCatalogue[17].name, "Treshold       ");
    EXPECT_EQ(ParameterCatalogue[2].unit, "dbuV");
    EXPECT_EQ(ParameterCatalogue[18].unit, "deg");
    EXPECT_EQ(HiModeValues[0].label, "Hi :  Upper Address");
}

TEST(Fields, TableIsInRecordOrder)
{
    for (std::size_t i = 0; i < Fields.size(); ++i)
        EXPECT_EQ(static_cast<std::size_t>(Fields[i].field), i);
    EXPECT_EQ(Fields.front().name, "RawHex");
    EXPECT_EQ(Fields.back().name, "HiDataSize");
    int status = 0;
    for (const FieldInfo &f : Fields)
        status += f.statusBits;
    EXPECT_EQ(status, 3);
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

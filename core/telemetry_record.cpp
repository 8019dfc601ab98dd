#include "telemetry_record.h"

namespace kesta {

void TelemetryRecord::clear()
{
    // Assigning empty texts keeps their capacity, so a record reused frame after
    // frame stops allocating once its texts have grown.
    RawHex.clear();
    FrameKind.clear();
    CcuTelemetry.clear();
    LightElements.clear();
    MessageText.clear();
    HtrxCounter = 0;
    MovementFlag = 0;
    Rssi = HrxCurrent = HtxCurrent = TncCurrent = FssCurrent = 0;
    FssStatus = 0;
    FssCounter = 0;
    FssAngleData = 0;
    CcuTime = 0;
    ModeStatus = 0;
    FssFrameCounter = 0;
    ElementNumber = 0;
    Threshold = 0;
    Angle = 0;
    HiUpperAddress = HiLowerAddress = HiDataSize = 0;
    ReceptionTime.reset();
    Written.clear();
}

std::optional<double> FieldNumber(const TelemetryRecord &r, Field f)
{
    switch (f) {
    case Field::HtrxCounter:
        return r.HtrxCounter;
    case Field::MovementFlag:
        return r.MovementFlag;
    case Field::Rssi:
        return r.Rssi;
    case Field::HrxCurrent:
        return r.HrxCurrent;
    case Field::HtxCurrent:
        return r.HtxCurrent;
    case Field::TncCurrent:
        return r.TncCurrent;
    case Field::FssCurrent:
        return r.FssCurrent;
    case Field::FssStatus:
        return r.FssStatus;
    case Field::FssCounter:
        return r.FssCounter;
    case Field::FssAngleData:
        return r.FssAngleData;
    case Field::CcuTime:
        return r.CcuTime;
    case Field::ModeStatus:
        return r.ModeStatus;
    case Field::FssFrameCounter:
        return r.FssFrameCounter;
    case Field::ElementNumber:
        return r.ElementNumber;
    case Field::Threshold:
        return r.Threshold;
    case Field::Angle:
        return r.Angle;
    case Field::HiUpperAddress:
        return r.HiUpperAddress;
    case Field::HiLowerAddress:
        return r.HiLowerAddress;
    case Field::HiDataSize:
        return r.HiDataSize;
    case Field::RawHex:
    case Field::FrameKind:
    case Field::CcuTelemetry:
    case Field::LightElements:
    case Field::MessageText:
        return std::nullopt;
    }
    return std::nullopt;
}

std::string_view FieldText(const TelemetryRecord &r, Field f)
{
    switch (f) {
    case Field::RawHex:
        return r.RawHex;
    case Field::FrameKind:
        return r.FrameKind;
    case Field::CcuTelemetry:
        return r.CcuTelemetry;
    case Field::LightElements:
        return r.LightElements;
    case Field::MessageText:
        return r.MessageText;
    default:
        return {};
    }
}

} // namespace kesta

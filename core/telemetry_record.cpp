#include "telemetry_record.h"

namespace kesta {

void TelemetryRecord::clear()
{
    // Assigning empty texts keeps their capacity, so a record reused frame after
    // frame stops allocating once its texts have grown.
    RawHex.clear();
    FrameKind = kesta::FrameKind::None;
    CcuTelemetry.clear();
    LightElements.fill(0);
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
    Type = FrameType::None;
    ReceptionTime.reset();
    Written.clear();
}

std::string_view KindText(FrameKind kind)
{
    switch (kind) {
    case FrameKind::Htrx:
        return "HTRX Telemetry";
    case FrameKind::FssStandby:
        return "FSS Telemetry (standby)";
    case FrameKind::FssNormal:
        return "FSS Telemetry (normal)";
    case FrameKind::FssNormalAlg2:
        return "FSS Telemetry (normal, alg. 2)";
    case FrameKind::FssMessage:
        return "FSS Telemetry (message)";
    case FrameKind::FssHiMode:
        return "FSS Telemetry Hi-Mode";
    case FrameKind::None:
        break;
    }
    return {};
}

std::string_view FieldText(const TelemetryRecord &r, Field f)
{
    const FieldMember &member = InfoOf(f).member;
    if (const auto *text = std::get_if<std::string TelemetryRecord::*>(&member))
        return r.**text;
    if (const auto *kind = std::get_if<kesta::FrameKind TelemetryRecord::*>(&member))
        return KindText(r.**kind);
    return {};
}

} // namespace kesta

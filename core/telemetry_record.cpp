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

std::string_view FieldText(const TelemetryRecord &r, Field f)
{
    if (const auto *member = std::get_if<std::string TelemetryRecord::*>(&InfoOf(f).member))
        return r.**member;
    return {};
}

} // namespace kesta

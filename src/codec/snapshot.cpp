// SPDX-License-Identifier: MIT
#include "snapshot.h"

#include "byteorder.h"

namespace vantor::codec {

std::optional<Snapshot> asSnapshot(std::span<const std::uint8_t> block)
{
    if (block.size() < protocol::kSnapshotSize)
        return std::nullopt;
    return block.first<protocol::kSnapshotSize>();
}

unsigned fieldValue(Snapshot snapshot, Field field, int p)
{
    const FieldRow &row = fieldRow(field);
    if (p < 0 || p >= row.ports)
        return 0;
    const FieldPlace place = fieldPlace(row, p);
    switch (row.width) {
    case Width::U16le:
        return readU16le(snapshot, place.offset);
    case Width::U11:
        return readU11(snapshot, place.offset);
    case Width::Bits:
        break;
    }
    return static_cast<unsigned>((snapshot[place.offset] & place.mask) >> place.shift);
}

namespace {

int value(Snapshot snapshot, Field field, int p = 0)
{
    return static_cast<int>(fieldValue(snapshot, field, p));
}

} // namespace

SystemInfo decodeSystemInfo(Snapshot s)
{
    return { value(s, Field::REV_IDENT_1_MAJOR) + 1, value(s, Field::REV_IDENT_1_MINOR),
             value(s, Field::REV_IDENT_2) };
}

SystemStatus decodeSystemStatus(Snapshot s)
{
    return { value(s, Field::COMMON_CTRL_4), value(s, Field::PORT_SVC_NUM),
             value(s, Field::BOX_PWR) };
}

PortStatus decodePortStatus(Snapshot s, int p)
{
    PortStatus st;
    st.PORT_PWR_ORDER_1 = value(s, Field::PORT_PWR_ORDER, p);
    st.ledDrive = value(s, Field::PORT_LED_DRV, p);
    st.portEnable = value(s, Field::PORT_SYS_MGMNT_2, p);
    st.PORT_DISC_C = value(s, Field::PORT_DISC_C, p);
    st.PORT_DISC_R = value(s, Field::PORT_DISC_R, p);
    st.PORT_CLASS_2 = value(s, Field::PORT_CLASS_2, p);
    st.PORT_CLASS_1 = value(s, Field::PORT_CLASS_1, p);
    st.PORT_CURRENT = value(s, Field::PORT_CURRENT, p);
    st.PORT_VOLTAGE = value(s, Field::PORT_VOLTAGE, p);
    st.PORT_POWER = value(s, Field::PORT_POWER, p);
    st.faultCode = value(s, Field::PORT_FLT_MODE_1, p);
    st.modeCode = value(s, Field::PORT_FLT_MODE_2, p);
    st.pausedBit = value(s, Field::FAULT_PAUSED, p);
    return st;
}

} // namespace vantor::codec

#include "snapshot.h"

#include "byteorder.h"

namespace vantor::decode {

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

SystemConfig decodeSystemConfig(Snapshot s)
{
    SystemConfig c;
    c.SYS_PORT_CNT = value(s, Field::SYS_PORT_CNT);
    c.NOISE_MST_EN_1 = value(s, Field::NOISE_MST_EN_1);
    c.NOISE_MST_EN_2 = value(s, Field::NOISE_MST_EN_2);
    c.Brellik_I2C_ADDR = value(s, Field::Brellik_I2C_ADDR);
    c.FLT_PWR_CYCLES_1 = value(s, Field::FLT_PWR_CYCLES_1);
    c.FLT_PWR_CYCLES_2 = value(s, Field::FLT_PWR_CYCLES_2);
    c.COMMON_CTRL_1 = value(s, Field::COMMON_CTRL_1);
    c.COMMON_CTRL_2 = value(s, Field::COMMON_CTRL_2);
    c.COMMON_CTRL_3 = value(s, Field::COMMON_CTRL_3);
    c.COMMON_CTRL_4 = value(s, Field::COMMON_CTRL_4);
    c.COMMON_CTRL_5 = value(s, Field::COMMON_CTRL_5);
    c.COMMON_CTRL_6 = value(s, Field::COMMON_CTRL_6);
    // The board counts the discovery limits in units of 2 ohms.
    c.PD_R_LOW = value(s, Field::PD_R_LOW) * 2;
    c.PD_R_HIGH = value(s, Field::PD_R_HIGH) * 2;
    c.LEG_SUPP_1 = value(s, Field::LEG_SUPP_1);
    c.LEG_SUPP_2 = value(s, Field::LEG_SUPP_2);
    c.LEG_SUPP_3 = value(s, Field::LEG_SUPP_3);
    c.LEG_SUPP_4 = value(s, Field::LEG_SUPP_4);
    c.MAX_SYS_PWR = value(s, Field::MAX_SYS_PWR);
    c.STARTUP_OL_DLY = value(s, Field::STARTUP_OL_DLY);
    c.firmwareMajor = value(s, Field::REV_IDENT_1_MAJOR) + 1;
    c.firmwareMinor = value(s, Field::REV_IDENT_1_MINOR);
    c.REV_IDENT_2 = value(s, Field::REV_IDENT_2);
    return c;
}

SystemStatus decodeSystemStatus(Snapshot s)
{
    return { value(s, Field::COMMON_CTRL_4), value(s, Field::PORT_SVC_NUM),
             value(s, Field::BOX_PWR) };
}

PortConfig decodePortConfig(Snapshot s, int p)
{
    PortConfig c;
    for (std::size_t k = 0; k < c.PORT_MODE_BYPS.size(); ++k) {
        const auto field
            = static_cast<Field>(static_cast<std::size_t>(Field::PORT_MODE_BYPS_1) + k);
        c.PORT_MODE_BYPS[k] = value(s, field, p);
    }
    c.PORT_SYS_MGMNT_1 = value(s, Field::PORT_SYS_MGMNT_1, p);
    c.PORT_SYS_MGMNT_2 = value(s, Field::PORT_SYS_MGMNT_2, p);
    c.PORT_SYS_MGMNT_3 = value(s, Field::PORT_SYS_MGMNT_3, p);
    c.PORT_PWR_ORDER_2 = value(s, Field::PORT_PWR_ORDER, p);
    c.PORT_PWR_LMT = value(s, Field::PORT_PWR_LMT, p);
    c.PORT_LED_DRV = value(s, Field::PORT_LED_DRV, p);
    return c;
}

PortStatus decodePortStatus(Snapshot s, int p)
{
    PortStatus st;
    st.PORT_PWR_ORDER_1 = value(s, Field::PORT_PWR_ORDER, p);
    st.ledDrive = value(s, Field::PORT_LED_DRV, p);
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

std::optional<DecodedSnapshot> decodeSnapshot(std::span<const std::uint8_t> block)
{
    const std::optional<Snapshot> s = asSnapshot(block);
    if (!s)
        return std::nullopt;
    DecodedSnapshot d;
    d.config = decodeSystemConfig(*s);
    d.status = decodeSystemStatus(*s);
    for (int p = 0; p < kPortsPerGroup; ++p) {
        d.portConfig[static_cast<std::size_t>(p)] = decodePortConfig(*s, p);
        d.portStatus[static_cast<std::size_t>(p)] = decodePortStatus(*s, p);
    }
    return d;
}

} // namespace vantor::decode

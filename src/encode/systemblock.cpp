#include "systemblock.h"

#include "fieldwriter.h"

namespace vantor::encode {

namespace {

using decode::Field;
using detail::flagBit;

constexpr std::uint8_t kCalibrateBit = 0x04; // offset 4, bit 2: not part of the snapshot

struct Entry
{
    const QString &text;
    const char *field;
    const char *caption;
    IntegerRange range = kInt16;
};

Refusal refuse(const char *field, const char *caption, const QString &problem)
{
    return { QString::fromLatin1(field),
             QString::fromLatin1(caption) + QLatin1Char(' ') + problem };
}

// Rounds R / 2 to the nearest integer, an exact half going to the even neighbour.
std::int32_t halfToEven(std::int32_t r)
{
    const std::int32_t down = r >> 1; // floor
    if ((r & 1) == 0)
        return down;
    return (down & 1) == 0 ? down : down + 1;
}

} // namespace

SystemBlockResult encodeSystemBlock(const SystemSettings &s, const QLocale &locale)
{
    SystemBlockResult result;

    // Every entry is read before anything is written, so a refusal leaves nothing half done.
    if (s.SYS_PORT_CNT.isEmpty()) {
        result.refusal
            = refuse("SYS_PORT_CNT", "Ports in System", QStringLiteral("has nothing selected"));
        return result;
    }
    if (s.NOISE_MST_EN_1 < 0) {
        result.refusal = refuse("NOISE_MST_EN_1", "Line Frequency Rejection",
                                QStringLiteral("has nothing selected"));
        return result;
    }
    // Offset 12 is the one field that is not masked: a wrapped delay must never be sent.
    const Entry entries[] = {
        { s.SYS_PORT_CNT, "SYS_PORT_CNT", "Ports in System" },
        { s.Brellik_I2C_ADDR, "Brellik_I2C_ADDR", "Brellik I2C Address (dec)" },
        { s.FLT_PWR_CYCLES_1, "FLT_PWR_CYCLES_1", "Fault Cycles" },
        { s.FLT_PWR_CYCLES_2, "FLT_PWR_CYCLES_2", "Power Cycles" },
        { s.PD_R_LOW, "PD_R_LOW", "Lower Limit of PD Discovery R (ohms)", kInt32 },
        { s.PD_R_HIGH, "PD_R_HIGH", "Upper Limit of PD Discovery R (ohms)", kInt32 },
        { s.MAX_SYS_PWR, "MAX_SYS_PWR", "Total Power Limit (W)" },
        { s.STARTUP_OL_DLY, "STARTUP_OL_DLY", "Startup Overload Delay (ms)", { 0, 255 } },
    };
    std::array<std::int32_t, std::size(entries)> v {};
    for (std::size_t i = 0; i < std::size(entries); ++i) {
        const Entry &e = entries[i];
        const IntegerReading r = readInteger(e.text, e.range, locale);
        if (!r.ok()) {
            result.refusal = refuse(e.field, e.caption, problemText(r.problem, e.range));
            return result;
        }
        v[i] = r.value;
    }
    const auto [portCount, address, faultCycles, powerCycles, rLow, rHigh, maxPower, delay] = v;

    auto &b = result.block;
    const auto put = [&b](Field field, std::uint32_t value) {
        detail::putField(b, 0, field, 0, value);
    };
    const auto u = [](std::int32_t x) {
        return static_cast<std::uint32_t>(x);
    };
    put(Field::SYS_PORT_CNT, u(portCount));
    put(Field::NOISE_MST_EN_1, u(s.NOISE_MST_EN_1));
    put(Field::NOISE_MST_EN_2, flagBit(s.NOISE_MST_EN_2));
    put(Field::Brellik_I2C_ADDR, u(address) & 0x1F);
    put(Field::FLT_PWR_CYCLES_1, u(faultCycles));
    put(Field::FLT_PWR_CYCLES_2, u(powerCycles));
    put(Field::COMMON_CTRL_1, flagBit(s.COMMON_CTRL_1));
    put(Field::COMMON_CTRL_2, flagBit(s.COMMON_CTRL_2));
    put(Field::COMMON_CTRL_3, flagBit(s.COMMON_CTRL_3));
    put(Field::COMMON_CTRL_4, flagBit(s.COMMON_CTRL_4));
    put(Field::COMMON_CTRL_5, flagBit(s.COMMON_CTRL_5));
    put(Field::COMMON_CTRL_6, flagBit(s.COMMON_CTRL_6));
    if (flagBit(s.COMMON_CTRL_7))
        b[decode::fieldRow(Field::COMMON_CTRL_1).offset] |= kCalibrateBit;
    put(Field::PD_R_LOW, u(halfToEven(rLow)));
    put(Field::PD_R_HIGH, u(halfToEven(rHigh)));
    put(Field::LEG_SUPP_1, flagBit(s.LEG_SUPP_1));
    put(Field::LEG_SUPP_2, flagBit(s.LEG_SUPP_2));
    put(Field::LEG_SUPP_3, flagBit(s.LEG_SUPP_3));
    put(Field::LEG_SUPP_4, flagBit(s.LEG_SUPP_4));
    put(Field::MAX_SYS_PWR, u(maxPower));
    put(Field::STARTUP_OL_DLY, u(delay));
    return result;
}

PauseMarks systemPauseMarks(const std::array<int, kPortsPerGroup> &faultPaused,
                            const std::array<int, kPortsPerGroup> &portEnable, int masterEnable)
{
    PauseMarks marks {};
    for (std::size_t p = 0; p < marks.size(); ++p) {
        const int value = faultPaused[p] & portEnable[p] & masterEnable;
        marks[p] = { value, value == 1 };
    }
    return marks;
}

} // namespace vantor::encode

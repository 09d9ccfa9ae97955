// SPDX-License-Identifier: MIT
#include "systemblock.h"

#include "fieldwriter.h"

namespace vantor::codec {

namespace {

constexpr std::uint8_t kCalibrateBit = 0x04; // offset 4, bit 2: not part of the snapshot
constexpr int kBrellikAddressMask = 0x1F;

// Rounds R / 2 to the nearest integer, an exact half going to the even neighbour.
std::int32_t halfToEven(std::int32_t r)
{
    const std::int32_t down = r >> 1; // floor
    if ((r & 1) == 0)
        return down;
    return (down & 1) == 0 ? down : down + 1;
}

} // namespace

SystemBlockResult encodeSystemBlock(const SystemConfiguration &config)
{
    SystemBlockResult result;
    const SettingRow &delay = settingRow(Setting::STARTUP_OL_DLY);
    if (!inRange(delay, config[Setting::STARTUP_OL_DLY])) {
        result.refusal = Refusal { QString::fromLatin1(delay.name),
                                   QString::fromLatin1(delay.caption) + QLatin1Char(' ')
                                       + problemText(TextProblem::OutOfRange,
                                                     { delay.minimum, delay.maximum }) };
        return result;
    }

    auto &b = result.block;
    for (const SettingRow &row : settingRows(Scope::System)) {
        const int value = config[row.setting];
        if (row.setting == Setting::COMMON_CTRL_7) {
            if (detail::flagBit(value))
                b[fieldRow(Field::COMMON_CTRL_1).offset] |= kCalibrateBit;
            continue;
        }
        if (!row.field)
            continue;
        std::uint32_t raw = static_cast<std::uint32_t>(value);
        if (row.kind == Kind::Flag)
            raw = detail::flagBit(value);
        else if (row.readScale == 2)
            raw = static_cast<std::uint32_t>(halfToEven(value));
        else if (row.setting == Setting::Brellik_I2C_ADDR)
            raw &= kBrellikAddressMask;
        detail::putField(b, 0, *row.field, 0, raw);
    }
    return result;
}

PauseMarks systemPauseMarks(const PortGroupConfiguration &ports, int masterEnable)
{
    PauseMarks marks {};
    for (std::size_t p = 0; p < marks.size(); ++p) {
        const int value
            = ports[p][Setting::FAULT_PAUSED] & ports[p][Setting::PORT_SYS_MGMNT_2] & masterEnable;
        marks[p] = { value, value == 1 };
    }
    return marks;
}

} // namespace vantor::codec

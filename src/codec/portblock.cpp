// SPDX-License-Identifier: MIT
#include "portblock.h"

#include "fieldwriter.h"

namespace vantor::codec {

PortBlockResult encodePortBlock(const PortGroupConfiguration &ports, int masterEnable)
{
    PortBlockResult result;
    auto &b = result.block;
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const auto i = static_cast<std::size_t>(p);
        const PortConfiguration &port = ports[i];
        for (const SettingRow &row : settingRows(Scope::Port)) {
            if (!row.field)
                continue;
            const int value = port[row.setting];
            const auto raw = row.kind == Kind::Flag ? detail::flagBit(value)
                                                    : static_cast<std::uint32_t>(value);
            detail::putField(b, kPortBlockSnapshotBase, *row.field, p, raw);
        }
        const int faultEnable = port[Setting::FAULT_ENABLE];
        b[kFaultEnableOffset] |= static_cast<std::uint8_t>(detail::flagBit(faultEnable) << p);
        const int mark = port[Setting::FAULT_PAUSED] & faultEnable & port[Setting::PORT_SYS_MGMNT_2]
            & masterEnable;
        b[kPauseMarkOffset] |= static_cast<std::uint8_t>(detail::flagBit(mark) << p);
        result.pauseMarks[i] = { mark, mark == 1 };
    }
    return result;
}

} // namespace vantor::codec

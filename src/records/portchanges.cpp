// SPDX-License-Identifier: MIT
#include "portchanges.h"

#include <codec/statustext.h>

#include <utility>

namespace vantor::records {

namespace {

bool sampling(int modeCode)
{
    const QLatin1StringView mode = codec::modeText(modeCode).caption;
    return mode == QLatin1StringView("I Sample") || mode == QLatin1StringView("V Sample");
}

} // namespace

int changeCode(const codec::PortStatus &status, PortChangeKind kind)
{
    switch (kind) {
    case PortChangeKind::Mode:
        return status.modeCode;
    case PortChangeKind::Fault:
        return status.faultCode;
    case PortChangeKind::Class:
        return status.PORT_CLASS_2;
    case PortChangeKind::PortEnable:
        return status.portEnable;
    }
    return 0;
}

std::vector<PortChange> PortChangeTracker::update(const codec::DecodedSnapshot &answer, int group)
{
    std::vector<PortChange> changes;
    for (int p = 0; p < codec::kPortsPerGroup; ++p) {
        const int element = group * codec::kPortsPerGroup + p;
        if (element < 0 || element >= codec::kElementCount)
            continue;
        PortState &state = m_ports[static_cast<std::size_t>(element)];
        const codec::PortStatus &status = answer.portStatus[static_cast<std::size_t>(p)];
        for (std::size_t k = 0; k < kPortChangeKinds; ++k) {
            const auto kind = static_cast<PortChangeKind>(k);
            const int now = changeCode(status, kind);
            const int before = std::exchange(state.codes[k], now);
            if (!state.known) {
                changes.push_back({ kind, element, std::nullopt, now });
                continue;
            }
            if (now == before
                || (kind == PortChangeKind::Mode && sampling(now) && sampling(before)))
                continue;
            changes.push_back({ kind, element, before, now });
        }
        state.known = true;
    }
    return changes;
}

} // namespace vantor::records

// SPDX-License-Identifier: MIT
#pragma once

// The Prometheus text exposition (format 0.0.4) of one port group: the board's state, and
// for each port the gauges of the record table, its power status and its fault counters.
// Labels device, group and port (1..48 as the window labels it); base units throughout.
// While the board is down (a time-out or a lost line) only vantor_board_up, which is then 0,
// and the counters are exposed: readings from an earlier answer are not passed off as current.

#include "readout.h"

#include <records/portchanges.h>

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace vantor::cli {

class Metrics
{
public:
    Metrics(const QString &device, int group);

    void addAnswer(const session::DecodedAnswer &answer);
    void addTimeout();
    // The board is not answering now.
    void setDown();

    [[nodiscard]] bool isUp() const { return m_up; }
    [[nodiscard]] QByteArray exposition() const;

private:
    QString m_device;
    int m_group;
    bool m_up = false;
    quint64 m_answers = 0;
    quint64 m_timeouts = 0;
    std::optional<records::PortRecords> m_records;
    int m_boardPowerTenths = 0;
    // Per port: the changes into each fault.
    records::PortChangeTracker m_changes;
    std::array<std::vector<quint64>, protocol::kPortsPerGroup> m_faultChanges;
};

} // namespace vantor::cli

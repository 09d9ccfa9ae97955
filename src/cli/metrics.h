// SPDX-License-Identifier: MIT
#pragma once

// The Prometheus text exposition (format 0.0.4) of one board: its state, and for each port of
// the groups it covers the gauges of the record table, its state sets and fault counters.
// Board series carry the label device, port series device, group and port (1..48 as the window
// labels it); base units throughout, label values as identifiers, captions in HELP texts.
// While the board is down (a time-out or a lost line) only vantor_board_up, which is then 0,
// the time of the last answer and the counters are exposed: readings from an earlier answer are
// not passed off as current.

#include "readout.h"

#include <records/portchanges.h>

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace vantor::cli {

class Metrics
{
public:
    Metrics(const QString &device, const std::vector<int> &groups);

    // The groups whose ports are exposed: after the port count was read again. Counters of
    // groups that stay are kept.
    void setGroups(const std::vector<int> &groups);

    // An answer for one of the groups; others are ignored.
    void addAnswer(const session::DecodedAnswer &answer);
    void addTimeout();
    void addLinkLost();
    // The board is not answering now.
    void setDown();

    [[nodiscard]] bool isUp() const { return m_up; }
    [[nodiscard]] QByteArray exposition() const;

private:
    struct Group
    {
        std::optional<session::DecodedAnswer> answer;
        records::PortRecords records;
        // Per port: the changes into each fault, by its id.
        std::array<std::map<QLatin1StringView, quint64>, protocol::kPortsPerGroup> faultChanges;
    };

    QString m_device;
    std::map<int, Group> m_groups;
    bool m_up = false;
    quint64 m_answers = 0;
    quint64 m_timeouts = 0;
    quint64 m_linkLost = 0;
    std::optional<qint64> m_lastAnswerUtcMs;
    // The board-wide values of the latest answer, whichever group it was for.
    int m_boardPowerTenths = 0;
    codec::SystemConfiguration m_config {};
    records::PortChangeTracker m_changes;
};

} // namespace vantor::cli

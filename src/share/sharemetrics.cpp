// SPDX-License-Identifier: MIT
#include "sharemetrics.h"

namespace vantor::share {

namespace {

using protocol::RequestKind;

constexpr std::array kKinds { RequestKind::WholeRead, RequestKind::SystemWrite,
                              RequestKind::PortWrite, RequestKind::PortRefresh };

// Label values as identifiers.
const char *kindLabel(RequestKind kind)
{
    switch (kind) {
    case RequestKind::WholeRead:
        return "whole_read";
    case RequestKind::SystemWrite:
        return "system_write";
    case RequestKind::PortWrite:
        return "port_write";
    case RequestKind::PortRefresh:
        break;
    }
    return "port_refresh";
}

constexpr std::array kRefusalLabels { "read_only", "board_down", "queue_full" };

class Writer
{
public:
    explicit Writer(QByteArray &out)
        : m_out(out)
    {
    }
    void family(const char *name, const char *help, const char *type)
    {
        m_name = name;
        m_out += QByteArray("# HELP ") + name + ' ' + help + '\n';
        m_out += QByteArray("# TYPE ") + name + ' ' + type + '\n';
    }
    void sample(const QByteArray &value) { m_out += m_name + ' ' + value + '\n'; }
    void sample(const QByteArray &labels, const QByteArray &value)
    {
        m_out += m_name + '{' + labels + "} " + value + '\n';
    }
    void sampleNamed(const char *suffix, const QByteArray &labels, const QByteArray &value)
    {
        m_out += m_name + suffix + (labels.isEmpty() ? QByteArray() : '{' + labels + '}') + ' '
            + value + '\n';
    }

private:
    QByteArray &m_out;
    QByteArray m_name;
};

QByteArray number(quint64 v)
{
    return QByteArray::number(v);
}

} // namespace

void ShareStats::observeQueueWait(double seconds)
{
    ++queueWaitCount;
    queueWaitSum += seconds;
    for (std::size_t i = 0; i < kQueueWaitBuckets.size(); ++i) {
        if (seconds <= kQueueWaitBuckets[i])
            ++queueWaitBuckets[i];
    }
}

QByteArray exposition(const ShareStats &stats)
{
    QByteArray out;
    Writer w(out);
    w.family("vantor_share_clients", "Clients connected to the share.", "gauge");
    w.sample(number(static_cast<quint64>(stats.clients)));
    w.family("vantor_share_board_up",
             "Whether the board is open and answered its last transaction (1) or not (0).",
             "gauge");
    w.sample(stats.boardUp ? "1" : "0");

    w.family("vantor_share_transactions_total", "Transactions run on the board, by kind.",
             "counter");
    for (RequestKind kind : kKinds)
        w.sample(QByteArray("kind=\"") + kindLabel(kind) + '"',
                 number(stats.transactions[static_cast<std::size_t>(kind)]));
    w.family("vantor_share_timeouts_total",
             "Board transactions that ended by the time-out of a stage, by kind.", "counter");
    for (RequestKind kind : kKinds)
        w.sample(QByteArray("kind=\"") + kindLabel(kind) + '"',
                 number(stats.timeouts[static_cast<std::size_t>(kind)]));

    w.family("vantor_share_coalesced_reads_total",
             "Client reads answered without a board transaction of their own: by another "
             "client's identical waiting read, or by the group's recent snapshot.",
             "counter");
    w.sample("source=\"waiting_read\"", number(stats.joinedReads));
    w.sample("source=\"recent_snapshot\"", number(stats.snapshotReads));

    w.family("vantor_share_refused_writes_total",
             "Write commands not acknowledged to the client, by reason.", "counter");
    for (std::size_t i = 0; i < kRefusalLabels.size(); ++i)
        w.sample(QByteArray("reason=\"") + kRefusalLabels[i] + '"', number(stats.refusedWrites[i]));
    w.family("vantor_share_unacknowledged_writes_total",
             "Writes taken from a client that the board never acknowledged.", "counter");
    w.sample(number(stats.unacknowledgedWrites));
    w.family("vantor_share_abandoned_writes_total",
             "Writes whose block the client did not complete: nothing was sent for them.",
             "counter");
    w.sample(number(stats.abandonedWrites));
    w.family("vantor_share_dropped_writes_total",
             "Writes taken from a client and dropped with the queue when the board was lost.",
             "counter");
    w.sample(number(stats.droppedWrites));
    w.family("vantor_share_unknown_bytes_total", "Bytes from clients that are no command.",
             "counter");
    w.sample(number(stats.unknownBytes));
    w.family("vantor_share_implausible_answers_total",
             "Board answers that failed the plausibility checks, passed on all the same.",
             "counter");
    w.sample(number(stats.implausibleAnswers));

    w.family("vantor_share_queue_wait_seconds",
             "Time from a client's request to its command going to the board.", "histogram");
    for (std::size_t i = 0; i < kQueueWaitBuckets.size(); ++i)
        w.sampleNamed("_bucket", "le=\"" + QByteArray::number(kQueueWaitBuckets[i]) + '"',
                      number(stats.queueWaitBuckets[i]));
    w.sampleNamed("_bucket", "le=\"+Inf\"", number(stats.queueWaitCount));
    w.sampleNamed("_sum", {}, QByteArray::number(stats.queueWaitSum, 'g', 15));
    w.sampleNamed("_count", {}, number(stats.queueWaitCount));
    return out;
}

} // namespace vantor::share

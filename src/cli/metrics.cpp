// SPDX-License-Identifier: MIT
#include "metrics.h"

#include <codec/numbertext.h>
#include <codec/statustext.h>

#include <QLocale>

#include <algorithm>

namespace vantor::cli {

namespace {

using codec::Column;
using codec::ColumnRow;
using namespace Qt::Literals::StringLiterals;

constexpr int kCodes = 16;
const QLatin1StringView kNoFault = "null"_L1;

struct State
{
    QLatin1StringView id;
    QLatin1StringView caption; // empty where the id is the word itself
};

std::vector<State> statusStates(codec::StatusText (*text)(int))
{
    std::vector<State> states;
    for (int code = 0; code < kCodes; ++code) {
        const codec::StatusText t = text(code);
        if (std::none_of(states.begin(), states.end(),
                         [&](const State &s) { return s.id == t.id; }))
            states.push_back({ t.id, t.caption });
    }
    return states;
}

// Every power status a port can be in, in the order the rule first gives them.
std::vector<State> powerStates()
{
    std::vector<State> states;
    for (int enable = 0; enable <= 1; ++enable) {
        for (int fault = 0; fault < kCodes; ++fault) {
            for (int mode = 0; mode < kCodes; ++mode) {
                const QLatin1StringView s = records::pwDStatus(enable, mode, fault);
                if (std::none_of(states.begin(), states.end(),
                                 [&](const State &st) { return st.id == s; }))
                    states.push_back({ s, {} });
            }
        }
    }
    return states;
}

const std::vector<State> &statesOf(Column column)
{
    static const std::vector<State> faults = statusStates(&codec::faultText);
    static const std::vector<State> modes = statusStates(&codec::modeText);
    static const std::vector<State> power = powerStates();
    return column == Column::Fault ? faults : column == Column::Mode ? modes : power;
}

// The state a port is in, for the columns that are state sets.
QLatin1StringView stateOf(Column column, const codec::PortStatus &st)
{
    switch (column) {
    case Column::Fault:
        return codec::faultText(st.faultCode).id;
    case Column::Mode:
        return codec::modeText(st.modeCode).id;
    default:
        return records::pwDStatus(st.portEnable, st.modeCode, st.faultCode);
    }
}

QByteArray latin1(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// vantor_port_state -> state: the label of a state set is its name's last word.
QByteArray stateLabel(std::string_view metric)
{
    return latin1(metric.substr(metric.rfind('_') + 1));
}

// "Mode status of the port, 1 for the current one: port_off (Port Off), ...".
QByteArray stateHelp(const ColumnRow &row)
{
    QByteArray help = latin1(row.metricHelp) + ", 1 for the current one:";
    const std::vector<State> &states = statesOf(row.column);
    for (std::size_t i = 0; i < states.size(); ++i) {
        help += (i ? ", " : " ") + QByteArray(states[i].id.data(), states[i].id.size());
        if (!states[i].caption.isEmpty())
            help += " (" + QByteArray(states[i].caption.data(), states[i].caption.size()) + ')';
    }
    return help + '.';
}

QByteArray labelValue(const QString &text)
{
    QByteArray v = text.toUtf8();
    v.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return '"' + v + '"';
}

QByteArray value(double v)
{
    return QByteArray::number(v, 'g', 15);
}

class Writer
{
public:
    explicit Writer(QByteArray &out)
        : m_out(out)
    {
    }

    void familyText(const QByteArray &name, const QByteArray &help, const char *type)
    {
        m_name = name;
        m_out += "# HELP " + m_name + ' ' + help + '\n';
        m_out += "# TYPE " + m_name + ' ' + type + '\n';
    }
    void family(std::string_view name, std::string_view help, const char *type)
    {
        familyText(latin1(name), latin1(help), type);
    }
    void sample(const QByteArray &labels, const QByteArray &v)
    {
        m_out += m_name + '{' + labels + "} " + v + '\n';
    }

private:
    QByteArray &m_out;
    QByteArray m_name;
};

} // namespace

Metrics::Metrics(const QString &device, const std::vector<int> &groups)
    : m_device(device)
{
    setGroups(groups);
}

void Metrics::setGroups(const std::vector<int> &groups)
{
    std::map<int, Group> kept;
    for (const int g : groups) {
        const auto it = m_groups.find(g);
        if (it != m_groups.end()) {
            kept.emplace(g, std::move(it->second));
            continue;
        }
        kept[g];
    }
    m_groups = std::move(kept);
}

void Metrics::addAnswer(const session::DecodedAnswer &answer)
{
    m_up = true;
    ++m_answers;
    m_lastAnswerUtcMs = answer.receivedUtcMs;
    m_boardPowerTenths = answer.snapshot.status.BOX_PWR;
    m_config = answer.snapshot.config;
    const auto it = m_groups.find(answer.group);
    if (it == m_groups.end())
        return;
    Group &group = it->second;
    group.answer = answer;
    group.records = portRecords(answer);
    // Changes into a fault are counted, not answers that show it; codes that share an id are
    // one fault, and a port's first answer comes from none.
    for (const records::PortChange &c : m_changes.update(answer.snapshot, answer.group)) {
        if (c.kind != records::PortChangeKind::Fault)
            continue;
        const QLatin1StringView fault = codec::faultText(c.now).id;
        const QLatin1StringView before = c.before ? codec::faultText(*c.before).id : kNoFault;
        if (fault != before && fault != kNoFault)
            ++group.faultChanges[static_cast<std::size_t>(c.element % protocol::kPortsPerGroup)]
                                [fault];
    }
}

void Metrics::addTimeout()
{
    ++m_timeouts;
    setDown();
}

void Metrics::addLinkLost()
{
    ++m_linkLost;
    setDown();
}

void Metrics::setDown()
{
    m_up = false;
}

QByteArray Metrics::exposition() const
{
    QByteArray out;
    Writer w(out);
    const QByteArray board = "device=" + labelValue(m_device);
    const auto port = [&](int group, std::size_t p) {
        return board + ",group=\"" + QByteArray::number(group) + "\",port=\""
            + QByteArray::number(group * protocol::kPortsPerGroup + static_cast<int>(p) + 1) + '"';
    };
    // Every port of the groups with an answer, in port order.
    const auto eachPort = [&](const auto &visit) {
        for (const auto &[g, group] : m_groups) {
            if (!group.answer)
                continue;
            for (std::size_t p = 0; p < protocol::kPortsPerGroup; ++p)
                visit(g, group, p);
        }
    };

    w.family("vantor_board_up",
             "Whether the board answered the last request (1), or a time-out or a lost line "
             "came after its last answer (0).",
             "gauge");
    w.sample(board, m_up ? "1" : "0");
    w.family("vantor_board_answers_total", "Port status answers decoded.", "counter");
    w.sample(board, QByteArray::number(m_answers));
    w.family("vantor_board_timeouts_total", "Requests the board did not answer in time.",
             "counter");
    w.sample(board, QByteArray::number(m_timeouts));
    w.family("vantor_board_link_lost_total", "Times the serial line was lost.", "counter");
    w.sample(board, QByteArray::number(m_linkLost));
    if (m_lastAnswerUtcMs) {
        w.family("vantor_board_last_answer_timestamp_seconds",
                 "When the board last answered, in seconds since 1970 (UTC).", "gauge");
        w.sample(board, value(static_cast<double>(*m_lastAnswerUtcMs) / 1000.0));
    }

    if (m_up && m_lastAnswerUtcMs) {
        const QString watts
            = codec::numberText(static_cast<float>(m_boardPowerTenths) / 10.0f, QLocale::c());
        w.family("vantor_board_power_watts", "Total port power of the board.", "gauge");
        w.sample(board, value(watts.toDouble()));
        for (const codec::SettingRow &row : codec::settingRows(codec::Scope::System)) {
            if (row.metric.empty())
                continue;
            w.family(row.metric, row.metricHelp, "gauge");
            w.sample(board, QByteArray::number(m_config[row.setting]));
        }

        for (std::size_t c = 0; c < codec::kColumns.size(); ++c) {
            const ColumnRow &column = codec::kColumns[c];
            if (column.metric.empty())
                continue;
            if (column.metricKind == codec::MetricKind::StateSet) {
                const QByteArray label = ',' + stateLabel(column.metric) + "=\"";
                w.familyText(latin1(column.metric), stateHelp(column), "gauge");
                eachPort([&](int g, const Group &group, std::size_t p) {
                    const QLatin1StringView now
                        = stateOf(column.column, group.answer->snapshot.portStatus[p]);
                    for (const State &s : statesOf(column.column))
                        w.sample(port(g, p) + label + QByteArray(s.id.data(), s.id.size()) + '"',
                                 s.id == now ? "1" : "0");
                });
                continue;
            }
            w.family(column.metric, column.metricHelp, "gauge");
            eachPort([&](int g, const Group &group, std::size_t p) {
                const records::RecordValue &v = group.records[p][c];
                if (v.null)
                    return;
                // Readings from their text: the window's digits, not the float's tail.
                const double shown
                    = column.type == codec::ColumnType::Number ? v.text.toDouble() : v.number;
                w.sample(port(g, p), value(shown * column.metricFactor));
            });
        }
        for (const codec::SettingRow &row : codec::settingRows(codec::Scope::Port)) {
            if (row.metric.empty())
                continue;
            w.family(row.metric, row.metricHelp, "gauge");
            eachPort([&](int g, const Group &group, std::size_t p) {
                w.sample(port(g, p),
                         QByteArray::number(group.answer->snapshot.ports[p][row.setting]));
            });
        }
    }

    w.family("vantor_port_faults_total",
             "Changes of the port into each fault (ids as in "
             "vantor_port_fault).",
             "counter");
    for (const auto &[g, group] : m_groups) {
        for (std::size_t p = 0; p < group.faultChanges.size(); ++p) {
            for (const State &s : statesOf(Column::Fault)) {
                if (s.id == kNoFault)
                    continue;
                const auto it = group.faultChanges[p].find(s.id);
                const quint64 n = it == group.faultChanges[p].end() ? 0 : it->second;
                w.sample(port(g, p) + ",fault=\"" + QByteArray(s.id.data(), s.id.size()) + '"',
                         QByteArray::number(n));
            }
        }
    }
    return out;
}

} // namespace vantor::cli

// SPDX-License-Identifier: MIT
#include "metrics.h"

#include <codec/numbertext.h>
#include <codec/statustext.h>

#include <QLocale>

namespace vantor::cli {

namespace {

using codec::Column;
using namespace Qt::Literals::StringLiterals;

const QLatin1StringView kNoFault = "Null"_L1;

// Every fault caption the board can report but "Null", in code order.
const QStringList &faultCaptions()
{
    static const QStringList captions = [] {
        QStringList list;
        for (int code = 0; code < 16; ++code) {
            const QString caption = codec::faultText(code).caption;
            if (caption != kNoFault && !list.contains(caption))
                list.append(caption);
        }
        return list;
    }();
    return captions;
}

// Every power status a port can be in, in the order the rule first gives them.
const QStringList &powerStatuses()
{
    static const QStringList statuses = [] {
        QStringList list;
        for (int enable = 0; enable <= 1; ++enable) {
            for (int fault = 0; fault < 16; ++fault) {
                for (int mode = 0; mode < 16; ++mode) {
                    const QString s = records::pwDStatus(enable, mode, fault);
                    if (!list.contains(s))
                        list.append(s);
                }
            }
        }
        return list;
    }();
    return statuses;
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

    void family(std::string_view name, std::string_view help, const char *type)
    {
        m_name = QByteArray(name.data(), static_cast<qsizetype>(name.size()));
        m_out += "# HELP " + m_name + ' ' + QByteArray(help.data(), qsizetype(help.size())) + '\n';
        m_out += "# TYPE " + m_name + ' ' + type + '\n';
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

Metrics::Metrics(const QString &device, int group)
    : m_device(device)
    , m_group(group)
{
    m_faultChanges.fill(std::vector<quint64>(static_cast<std::size_t>(faultCaptions().size()), 0));
}

void Metrics::addAnswer(const session::DecodedAnswer &answer)
{
    m_up = true;
    ++m_answers;
    m_records = portRecords(answer);
    m_boardPowerTenths = answer.snapshot.status.BOX_PWR;
    for (const records::PortChange &c : m_changes.update(answer.snapshot, answer.group)) {
        if (c.kind != records::PortChangeKind::Fault)
            continue;
        // Codes that share a caption are one fault here; a port's first answer comes from none.
        const QString fault = codec::faultText(c.now).caption;
        const QString before = c.before ? QString(codec::faultText(*c.before).caption) : kNoFault;
        const qsizetype i = faultCaptions().indexOf(fault);
        if (fault != before && i >= 0)
            ++m_faultChanges[static_cast<std::size_t>(c.element % protocol::kPortsPerGroup)]
                            [static_cast<std::size_t>(i)];
    }
}

void Metrics::addTimeout()
{
    ++m_timeouts;
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
    const QByteArray board
        = "device=" + labelValue(m_device) + ",group=\"" + QByteArray::number(m_group) + '"';
    const auto port = [&](std::size_t p) {
        return board + ",port=\""
            + QByteArray::number(m_group * protocol::kPortsPerGroup + static_cast<int>(p) + 1)
            + '"';
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

    if (m_up && m_records) {
        const QString watts
            = codec::numberText(static_cast<float>(m_boardPowerTenths) / 10.0f, QLocale::c());
        w.family("vantor_board_power_watts", "Total port power of the board.", "gauge");
        w.sample(board, value(watts.toDouble()));

        for (std::size_t c = 0; c < codec::kColumns.size(); ++c) {
            const codec::ColumnRow &column = codec::kColumns[c];
            if (column.metric.empty())
                continue;
            w.family(column.metric, column.metricHelp, "gauge");
            for (std::size_t p = 0; p < m_records->size(); ++p) {
                const records::RecordValue &v = (*m_records)[p][c];
                if (v.null)
                    continue;
                // Readings from their text: the window's digits, not the float's tail.
                const double shown
                    = column.type == codec::ColumnType::Number ? v.text.toDouble() : v.number;
                w.sample(port(p), value(shown * column.metricFactor));
            }
        }

        w.family("vantor_port_status",
                 "Power status of the port in the kernel's PSE words: 1 for the one it is in.",
                 "gauge");
        for (std::size_t p = 0; p < m_records->size(); ++p) {
            const QString &now = (*m_records)[p][static_cast<std::size_t>(Column::PwDStatus)].text;
            for (const QString &status : powerStatuses())
                w.sample(port(p) + ",status=" + labelValue(status), status == now ? "1" : "0");
        }
    }

    w.family("vantor_port_faults_total", "Changes of the port into each fault.", "counter");
    for (std::size_t p = 0; p < m_faultChanges.size(); ++p) {
        for (qsizetype i = 0; i < faultCaptions().size(); ++i) {
            w.sample(port(p) + ",fault=" + labelValue(faultCaptions()[i]),
                     QByteArray::number(m_faultChanges[p][static_cast<std::size_t>(i)]));
        }
    }
    return out;
}

} // namespace vantor::cli

// SPDX-License-Identifier: MIT
#include "powerbudget.h"

#include "trendlabels.h"

#include <codec/numbertext.h>
#include <codec/scaling.h>
#include <records/records.h>

#include <QDateTime>

#include <algorithm>
#include <map>

namespace vantor::views {

namespace {

using namespace Qt::StringLiterals;

// An answer older than the newest by more than this is from a group not refreshed now.
constexpr qint64 kOlderMs = 5000;

QString portsOfGroup(int group)
{
    return QStringLiteral("Ports %1-%2")
        .arg(group * codec::kPortsPerGroup + 1)
        .arg((group + 1) * codec::kPortsPerGroup);
}

} // namespace

QString wattsText(float w)
{
    return codec::numberText(w, QLocale::c()) + QStringLiteral(" W");
}

PowerBudget powerBudget(std::span<const std::optional<session::DecodedAnswer>> latestByGroup)
{
    PowerBudget budget;
    const session::DecodedAnswer *newest = nullptr;
    for (const std::optional<session::DecodedAnswer> &answer : latestByGroup) {
        if (answer && (!newest || answer->receivedUtcMs >= newest->receivedUtcMs))
            newest = &*answer;
    }
    if (!newest)
        return budget;
    const codec::DecodedSnapshot &board = newest->snapshot;
    budget.portCount = boardPortCount(board.config[codec::Setting::SYS_PORT_CNT]);
    budget.totalW = static_cast<float>(board.status.BOX_PWR) / 10.0f;
    budget.totalLimitW = board.config[codec::Setting::MAX_SYS_PWR];
    budget.priorityDisconnect = board.config[codec::Setting::COMMON_CTRL_6] != 0;
    budget.newestUtcMs = newest->receivedUtcMs;

    const int groups = budget.portCount / codec::kPortsPerGroup;
    for (int g = 0; g < groups; ++g) {
        const auto i = static_cast<std::size_t>(g);
        if (i >= latestByGroup.size() || !latestByGroup[i]) {
            budget.unansweredGroups << g;
            continue;
        }
        const session::DecodedAnswer &answer = *latestByGroup[i];
        for (std::size_t p = 0; p < answer.snapshot.portStatus.size(); ++p) {
            const codec::PortStatus &st = answer.snapshot.portStatus[p];
            const codec::PortConfiguration &settings = answer.snapshot.ports[p];
            BudgetRow row;
            row.port = g * codec::kPortsPerGroup + static_cast<int>(p) + 1;
            row.powerW = codec::shownValue(
                codec::scaledInteger(static_cast<unsigned>(st.PORT_POWER), 1.0, 0.0),
                codec::ShownAs::Tenths);
            row.limitW = settings[codec::Setting::PORT_PWR_LMT];
            row.priority = settings[codec::Setting::PORT_SYS_MGMNT_3];
            row.delivering
                = records::pwDStatus(st.portEnable, st.modeCode, st.faultCode) == "delivering"_L1;
            row.answeredUtcMs = answer.receivedUtcMs;
            budget.rows.push_back(row);
        }
    }

    // As the board picks whom to drop: the lowest priority, among equals the higher port.
    // Ports without power have nothing to drop; they follow in the same order.
    std::ranges::sort(budget.rows, [](const BudgetRow &a, const BudgetRow &b) {
        if (a.delivering != b.delivering)
            return a.delivering;
        return a.priority != b.priority ? a.priority < b.priority : a.port > b.port;
    });
    const float excess = budget.totalW - static_cast<float>(budget.totalLimitW);
    float freed = 0;
    int rank = 0;
    for (BudgetRow &row : budget.rows) {
        if (!row.delivering)
            continue;
        row.dropRank = ++rank;
        if (budget.totalLimitW == 0)
            continue;
        row.dropsFirst = rank == 1 || freed < excess;
        freed += row.powerW;
    }
    return budget;
}

QStringList budgetNotes(const PowerBudget &budget)
{
    QStringList notes;
    if (budget.portCount == 0)
        return { QObject::tr("No answer from the board yet.") };
    if (budget.totalLimitW == 0)
        notes << QObject::tr("No total power limit (0 W): priority disconnect drops no port.");
    else if (budget.priorityDisconnect)
        notes << QObject::tr("Priority disconnect is on: over the total power limit the board "
                             "drops ports in this order, the marked ones first.");
    else
        notes << QObject::tr("Priority disconnect is off: at the total power limit the board "
                             "powers no further port; with it on it would drop the marked ones "
                             "first.");
    if (budget.overTotalLimit())
        notes << QObject::tr("The total is %1 over its limit.")
                     .arg(wattsText(budget.totalW - static_cast<float>(budget.totalLimitW)));
    notes << QObject::tr("Powered ports lowest priority first (0 is the lowest; among equals the "
                         "higher port number goes first), as the board drops them; then the "
                         "others.");

    QStringList unanswered;
    for (int g : budget.unansweredGroups)
        unanswered << portsOfGroup(g);
    if (!unanswered.isEmpty())
        notes << QObject::tr("%1: no answer yet; select their group to read them.")
                     .arg(unanswered.join(QStringLiteral(", ")));
    std::map<int, qint64> answered;
    for (const BudgetRow &row : budget.rows)
        answered[(row.port - 1) / codec::kPortsPerGroup] = row.answeredUtcMs;
    QStringList older;
    for (const auto &[group, utcMs] : answered) {
        if (budget.newestUtcMs - utcMs > kOlderMs)
            older << QObject::tr("%1 as read at %2 UTC")
                         .arg(portsOfGroup(group),
                              QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(u"HH:mm:ss"));
    }
    if (!older.isEmpty())
        notes << QObject::tr("%1: only the selected group is refreshed.")
                     .arg(older.join(QStringLiteral(", ")));
    return notes;
}

void BudgetAnswers::add(const session::DecodedAnswer &answer)
{
    if (answer.group < 0 || answer.group >= protocol::kGroupCount)
        return;
    m_latest[static_cast<std::size_t>(answer.group)] = answer;
    emit changed();
}

} // namespace vantor::views

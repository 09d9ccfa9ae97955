// SPDX-License-Identifier: MIT
#pragma once

// The power budget of the board: each port's power against its power limit and the board's
// total against the total power limit (a limit of 0 is none), with the ports in the order
// priority disconnect drops them. Taken from the answers the panel already has: the latest of
// each port group.

#include <session/decodedanswer.h>

#include <QList>
#include <QObject>

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace vantor::views {

struct BudgetRow
{
    int port = 0;     // 1..48, as the window labels it
    float powerW = 0; // as the window shows it
    int limitW = 0;   // 0: no limit
    int priority = 0; // 0 is the lowest
    bool delivering = false;
    // The place in which priority disconnect drops the port (1 first); 0 for a port it has
    // nothing to drop from.
    int dropRank = 0;
    // Dropped first: over the total power limit, the ports the board drops until it fits
    // again; within it, the next one to go.
    bool dropsFirst = false;
    qint64 answeredUtcMs = 0; // the answer of its group the row comes from

    bool operator==(const BudgetRow &) const = default;
};

struct PowerBudget
{
    // The powered ports lowest priority first, among equals the higher port number: the
    // order the board drops them in; then the others in the same order. Only ports within
    // the port count whose group has answered.
    std::vector<BudgetRow> rows;
    float totalW = 0;
    int totalLimitW = 0; // 0: no limit
    bool priorityDisconnect = false;
    int portCount = 0; // 0 before any answer
    qint64 newestUtcMs = 0;
    // Groups within the port count that have not answered yet (0-based).
    QList<int> unansweredGroups;

    [[nodiscard]] bool overTotalLimit() const { return totalLimitW > 0 && totalW > totalLimitW; }
};

// The budget from the latest answer of each group (index = group). The board's own values
// (port count, total power, total limit, priority disconnect) come from the newest answer.
[[nodiscard]] PowerBudget
powerBudget(std::span<const std::optional<session::DecodedAnswer>> latestByGroup);

// What the budget means for the operator, a line each: what the total power limit does and
// which groups it cannot show yet.
[[nodiscard]] QStringList budgetNotes(const PowerBudget &budget);

// "6.5 W".
[[nodiscard]] QString wattsText(float watts);

// The latest answer of each group, as the session decodes them.
class BudgetAnswers : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void add(const session::DecodedAnswer &answer);
    [[nodiscard]] PowerBudget budget() const { return powerBudget(m_latest); }

signals:
    void changed();

private:
    std::array<std::optional<session::DecodedAnswer>, protocol::kGroupCount> m_latest {};
};

} // namespace vantor::views

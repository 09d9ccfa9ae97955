// SPDX-License-Identifier: MIT
#include "eventfolder.h"

#include <algorithm>

namespace vantor::views {

bool EventFolder::foldable(const Event &event)
{
    if (event.port != 0 && event.from.isEmpty())
        return false;
    return event.kind == EventKind::Mode || event.kind == EventKind::TimeOut
        || event.kind == EventKind::LinkOpenFailed;
}

void EventFolder::clear()
{
    m_slots.clear();
    m_streams.clear();
}

std::vector<int> EventFolder::append(const Event &event)
{
    const int row = size();
    m_slots.emplace_back();
    Stream &stream = m_streams[{ event.group, event.port }];
    Step step { event.kind, event.to, event.detail };
    std::vector<int> changed;

    if (stream.open) {
        Group &group = *stream.open;
        if (step == stream.cycle[group.rows.size() % stream.cycle.size()]) {
            group.rows.push_back(row);
            slot(row) = { Role::Member, stream.open };
            changed.push_back(group.rows.front());
            return changed;
        }
        close(stream, changed);
    }
    if (!foldable(event)) {
        stream.tail.clear();
        return changed;
    }
    if (!stream.tail.empty() && stream.tail.front().second.kind != event.kind)
        stream.tail.clear();
    stream.tail.emplace_back(row, std::move(step));
    if (stream.tail.size() > 2 * kMaxCycle)
        stream.tail.erase(stream.tail.begin());
    findCycle(stream, changed);
    return changed;
}

void EventFolder::close(Stream &stream, std::vector<int> &changed)
{
    Group &group = *stream.open;
    const std::size_t cycle = stream.cycle.size();
    const std::size_t whole = group.rows.size() - group.rows.size() % cycle;
    changed.push_back(group.rows.front());
    // The steps after the last whole cycle stand on their own, and may start the next one.
    stream.tail.clear();
    for (std::size_t i = whole; i < group.rows.size(); ++i) {
        const int row = group.rows[i];
        slot(row) = {};
        stream.tail.emplace_back(row, stream.cycle[i % cycle]);
        changed.push_back(row);
    }
    group.rows.resize(whole);
    stream.open.reset();
    stream.cycle.clear();
}

void EventFolder::findCycle(Stream &stream, std::vector<int> &changed)
{
    const auto &tail = stream.tail;
    const std::size_t n = tail.size();
    const auto sameStep = [](const auto &a, const auto &b) {
        return a.second == b.second;
    };
    // The shortest cycle that came twice in a row.
    for (std::size_t length = 1; length <= kMaxCycle && 2 * length <= n; ++length) {
        const auto first = tail.end() - static_cast<std::ptrdiff_t>(2 * length);
        const auto second = tail.end() - static_cast<std::ptrdiff_t>(length);
        if (!std::equal(first, second, second, sameStep))
            continue;
        auto group = std::make_shared<Group>();
        group->cycle = static_cast<int>(length);
        for (auto it = first; it != tail.end(); ++it) {
            group->rows.push_back(it->first);
            slot(it->first) = { it == first ? Role::Head : Role::Member, group };
            if (it + 1 != tail.end())
                changed.push_back(it->first);
        }
        stream.cycle.clear();
        for (auto it = first; it != second; ++it)
            stream.cycle.push_back(it->second);
        stream.open = std::move(group);
        stream.tail.clear();
        return;
    }
}

} // namespace vantor::views

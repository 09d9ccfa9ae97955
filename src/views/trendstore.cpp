// SPDX-License-Identifier: MIT
#include "trendstore.h"

#include "trendlabels.h"

#include <codec/scaling.h>
#include <session/decodedanswer.h>

#include <algorithm>

namespace vantor::views {

namespace {

constexpr qint64 kMinuteMs = 60'000;

qint64 minuteStart(qint64 utcMs)
{
    const qint64 rest = utcMs % kMinuteMs;
    return utcMs - (rest < 0 ? rest + kMinuteMs : rest);
}

// The first of n ascending times that is at or after t.
template<class TimeAt> std::size_t firstAtOrAfter(std::size_t n, TimeAt timeAt, qint64 t)
{
    std::size_t lo = 0;
    std::size_t hi = n;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (timeAt(mid) < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Runs take(time, sample) over one tier of one series from `from` on, oldest first, until it
// returns false.
template<class Take>
void walk(const Lane &lane, std::size_t series, Tier tier, qint64 from, Take &&take)
{
    if (tier == Tier::Raw) {
        const Ring<qint64> &times = lane.rawTimes();
        const Ring<float> &values = lane.raw(series).values();
        const auto timeAt = [&times](std::size_t i) {
            return times[i];
        };
        for (std::size_t i = firstAtOrAfter(times.size(), timeAt, from); i < times.size(); ++i) {
            const float v = values[i];
            if (!take(Sample { times[i], v, v, v }))
                return;
        }
        return;
    }
    const std::size_t n = lane.minuteCount();
    const auto timeAt = [&lane](std::size_t i) {
        return lane.minuteTime(i);
    };
    for (std::size_t i = firstAtOrAfter(n, timeAt, from); i < n; ++i) {
        const MinuteStat m = lane.minute(series, i);
        if (!take(Sample { lane.minuteTime(i), m.min, m.mean, m.max }))
            return;
    }
}

qint64 gapOf(Tier tier)
{
    return tier == Tier::Raw ? kRawGapMs : kMinuteGapMs;
}

} // namespace

void Series::push(float value)
{
    const bool wasEmpty = m_values.empty();
    const std::optional<float> dropped = m_values.push(value);
    if (m_stale)
        return;
    if (dropped && (*dropped <= m_min || *dropped >= m_max)) {
        m_stale = true;
        return;
    }
    if (wasEmpty) {
        m_min = m_max = value;
        return;
    }
    m_min = std::min(m_min, value);
    m_max = std::max(m_max, value);
}

void Series::rescan() const
{
    m_stale = false;
    if (m_values.empty()) {
        m_min = m_max = 0;
        return;
    }
    m_min = m_max = m_values[0];
    for (std::size_t i = 1; i < m_values.size(); ++i) {
        m_min = std::min(m_min, m_values[i]);
        m_max = std::max(m_max, m_values[i]);
    }
}

float Series::min() const
{
    if (m_stale)
        rescan();
    return m_values.empty() ? 0 : m_min;
}

float Series::max() const
{
    if (m_stale)
        rescan();
    return m_values.empty() ? 0 : m_max;
}

Lane::Lane(std::size_t seriesCount, std::size_t rawCapacity, std::size_t minuteCapacity)
    : m_rawTimes(rawCapacity)
    , m_raw(seriesCount, Series(rawCapacity))
    , m_minuteTimes(minuteCapacity)
    , m_minutes(seriesCount, Ring<MinuteStat>(minuteCapacity))
    , m_open(seriesCount)
{
}

void Lane::append(qint64 utcMs, std::span<const float> values)
{
    if (!m_rawTimes.empty())
        utcMs = std::max(utcMs, m_rawTimes.back());
    if (m_openCount > 0)
        utcMs = std::max(utcMs, m_openMinute);
    const std::size_t n = std::min(values.size(), m_raw.size());
    m_rawTimes.push(utcMs);
    for (std::size_t i = 0; i < n; ++i)
        m_raw[i].push(values[i]);

    const qint64 minute = minuteStart(utcMs);
    if (m_openCount > 0 && minute != m_openMinute)
        closeMinute();
    if (m_openCount == 0) {
        m_openMinute = minute;
        for (std::size_t i = 0; i < n; ++i)
            m_open[i] = { values[i], values[i], 0 };
    }
    for (std::size_t i = 0; i < n; ++i) {
        Accumulator &a = m_open[i];
        a.min = std::min(a.min, values[i]);
        a.max = std::max(a.max, values[i]);
        a.sum += values[i];
    }
    ++m_openCount;
}

void Lane::closeMinute()
{
    m_minuteTimes.push(m_openMinute);
    for (std::size_t i = 0; i < m_minutes.size(); ++i) {
        const Accumulator &a = m_open[i];
        m_minutes[i].push({ a.min, static_cast<float>(a.sum / m_openCount), a.max });
    }
    m_openCount = 0;
}

std::size_t Lane::minuteCount() const
{
    return m_minuteTimes.size() + (m_openCount > 0 ? 1 : 0);
}

qint64 Lane::minuteTime(std::size_t i) const
{
    return i < m_minuteTimes.size() ? m_minuteTimes[i] : m_openMinute;
}

MinuteStat Lane::minute(std::size_t series, std::size_t i) const
{
    if (i < m_minuteTimes.size())
        return m_minutes[series][i];
    const Accumulator &a = m_open[series];
    return { a.min, static_cast<float>(a.sum / std::max(m_openCount, 1)), a.max };
}

Tier Lane::tierFor(qint64 from) const
{
    if (m_rawTimes.empty())
        return Tier::Minutes;
    return !m_rawTimes.full() || from >= m_rawTimes[0] ? Tier::Raw : Tier::Minutes;
}

std::optional<qint64> Lane::firstTime() const
{
    if (!m_rawTimes.empty() && !m_rawTimes.full())
        return m_rawTimes[0];
    if (minuteCount() > 0)
        return minuteTime(0);
    return std::nullopt;
}

std::size_t Lane::memoryBytes() const
{
    const std::size_t n = m_raw.size();
    return sizeof(Lane) + m_rawTimes.capacity() * sizeof(qint64)
        + n * (sizeof(Series) + m_rawTimes.capacity() * sizeof(float))
        + m_minuteTimes.capacity() * sizeof(qint64)
        + n * (sizeof(Ring<MinuteStat>) + m_minuteTimes.capacity() * sizeof(MinuteStat))
        + n * sizeof(Accumulator);
}

void binLane(const Lane &lane, Tier tier, qint64 from, qint64 to, int width, std::vector<Bin> &out)
{
    out.clear();
    if (width <= 0 || to <= from)
        return;
    const double columnsPerMs = static_cast<double>(width) / static_cast<double>(to - from);
    const qint64 gap = gapOf(tier);
    const bool raw = tier == Tier::Raw;
    const std::size_t n = raw ? lane.rawTimes().size() : lane.minuteCount();
    const auto timeAt = [&lane, raw](std::size_t i) {
        return raw ? lane.rawTimes()[i] : lane.minuteTime(i);
    };
    std::optional<qint64> previous;
    for (std::size_t i = firstAtOrAfter(n, timeAt, from); i < n; ++i) {
        const qint64 t = timeAt(i);
        if (t >= to)
            break;
        const int column
            = std::min(width - 1, static_cast<int>(static_cast<double>(t - from) * columnsPerMs));
        if (!out.empty() && out.back().column == column)
            out.back().last = i + 1;
        else
            out.push_back({ column, i, i + 1, !previous || t - *previous > gap });
        previous = t;
    }
}

void reduceBins(const Lane &lane, std::size_t series, Tier tier, std::span<const Bin> bins,
                std::vector<ColumnExtent> &out)
{
    out.clear();
    out.reserve(bins.size());
    const Ring<float> &values = lane.raw(series).values();
    for (const Bin &bin : bins) {
        ColumnExtent c { bin.column, 0, 0, bin.gapBefore };
        if (tier == Tier::Raw) {
            c.low = c.high = values[bin.first];
            values.forRange(bin.first, bin.last, [&c](const float *v, const float *end) {
                for (; v != end; ++v) {
                    c.low = std::min(c.low, *v);
                    c.high = std::max(c.high, *v);
                }
            });
        } else {
            const MinuteStat first = lane.minute(series, bin.first);
            c.low = first.min;
            c.high = first.max;
            for (std::size_t i = bin.first + 1; i < bin.last; ++i) {
                const MinuteStat m = lane.minute(series, i);
                c.low = std::min(c.low, m.min);
                c.high = std::max(c.high, m.max);
            }
        }
        out.push_back(c);
    }
}

void reduce(const Lane &lane, std::size_t series, Tier tier, qint64 from, qint64 to, int width,
            std::vector<ColumnExtent> &out)
{
    std::vector<Bin> bins;
    binLane(lane, tier, from, to, width, bins);
    reduceBins(lane, series, tier, bins, out);
}

std::optional<Sample> sampleAt(const Lane &lane, std::size_t series, Tier tier, qint64 t)
{
    const std::size_t n = tier == Tier::Raw ? lane.rawTimes().size() : lane.minuteCount();
    const auto timeAt = [&](std::size_t i) {
        return tier == Tier::Raw ? lane.rawTimes()[i] : lane.minuteTime(i);
    };
    // The first after t, so the one before it is the last at or before t.
    const std::size_t after = firstAtOrAfter(n, timeAt, t + 1);
    if (after == 0 || t - timeAt(after - 1) > gapOf(tier))
        return std::nullopt;
    std::optional<Sample> found;
    walk(lane, series, tier, timeAt(after - 1), [&found](const Sample &s) {
        found = s;
        return false;
    });
    return found;
}

std::optional<std::pair<float, float>> extentIn(const Lane &lane, std::size_t series, Tier tier,
                                                qint64 from, qint64 to)
{
    std::optional<std::pair<float, float>> extent;
    walk(lane, series, tier, from, [&](const Sample &s) {
        if (s.time >= to)
            return false;
        extent = extent
            ? std::pair { std::min(extent->first, s.low), std::max(extent->second, s.high) }
            : std::pair { s.low, s.high };
        return true;
    });
    return extent;
}

void samplesIn(const Lane &lane, std::size_t series, Tier tier, qint64 from, qint64 to,
               const std::function<void(const Sample &)> &take)
{
    walk(lane, series, tier, from, [&](const Sample &s) {
        if (s.time >= to)
            return false;
        take(s);
        return true;
    });
}

TrendStore::TrendStore(std::size_t rawCapacity, std::size_t minuteCapacity, QObject *parent)
    : QObject(parent)
    , m_rawCapacity(rawCapacity)
    , m_minuteCapacity(minuteCapacity)
{
}

TrendStore::~TrendStore() = default;

void TrendStore::add(const session::DecodedAnswer &answer)
{
    const codec::DecodedSnapshot &s = answer.snapshot;
    const auto shown = [](int raw, codec::ShownAs as) {
        return codec::shownValue(codec::scaledInteger(static_cast<unsigned>(raw), 1.0, 0.0), as);
    };
    if (answer.group >= 0 && answer.group < kGroupLanes) {
        auto &lane = m_groups[static_cast<std::size_t>(answer.group)];
        if (!lane)
            lane = std::make_unique<Lane>(codec::kPortsPerGroup * kPortQuantities, m_rawCapacity,
                                          m_minuteCapacity);
        std::array<float, codec::kPortsPerGroup * kPortQuantities> values {};
        for (std::size_t p = 0; p < s.portStatus.size(); ++p) {
            const codec::PortStatus &st = s.portStatus[p];
            float *v = &values[p * kPortQuantities];
            v[static_cast<int>(Quantity::Power)] = shown(st.PORT_POWER, codec::ShownAs::Tenths);
            v[static_cast<int>(Quantity::Current)] = shown(st.PORT_CURRENT, codec::ShownAs::Tenths);
            v[static_cast<int>(Quantity::Voltage)]
                = shown(st.PORT_VOLTAGE, codec::ShownAs::Hundredths);
        }
        lane->append(answer.receivedUtcMs, values);
    }
    if (!m_board)
        m_board = std::make_unique<Lane>(1, m_rawCapacity, m_minuteCapacity);
    // The window shows the total in tenths of a watt, with no scale pair.
    const float board = static_cast<float>(s.status.BOX_PWR) / 10.0f;
    m_board->append(answer.receivedUtcMs, std::span(&board, 1));
    emit appended();
    const int ports = boardPortCount(s.config[codec::Setting::SYS_PORT_CNT]);
    if (ports != m_portCount) {
        m_portCount = ports;
        emit portCountChanged(ports);
    }
}

TrendStore::Place TrendStore::find(SeriesId id) const
{
    if (id.quantity == Quantity::BoardPower)
        return { m_board.get(), 0 };
    if (id.port < 1 || id.port > codec::kMaxPortCount)
        return {};
    const int element = id.port - 1;
    const auto &lane = m_groups[static_cast<std::size_t>(element / codec::kPortsPerGroup)];
    return { lane.get(),
             static_cast<std::size_t>((element % codec::kPortsPerGroup) * kPortQuantities
                                      + static_cast<int>(id.quantity)) };
}

std::optional<qint64> TrendStore::firstTime() const
{
    // The board's lane has a reading of every answer.
    return m_board ? m_board->firstTime() : std::nullopt;
}

std::optional<qint64> TrendStore::lastTime() const
{
    if (!m_board || m_board->rawTimes().empty())
        return std::nullopt;
    return m_board->rawTimes().back();
}

std::size_t TrendStore::memoryBytes() const
{
    std::size_t bytes = sizeof(TrendStore);
    for (const auto &lane : m_groups)
        bytes += lane ? lane->memoryBytes() : 0;
    return bytes + (m_board ? m_board->memoryBytes() : 0);
}

} // namespace vantor::views

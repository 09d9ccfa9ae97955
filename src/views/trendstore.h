// SPDX-License-Identifier: MIT
#pragma once

// The history behind the trend plots: each port's power, current and voltage and the board's
// total power, as the window shows them with its designed scales. Two tiers: every reading of
// the last hour (at two readings a second), and each minute's minimum, mean and maximum for
// the last seven days. Both are rings allocated once per port group, on the group's first
// answer, so memory stays the same however long the panel runs.

#include <codec/settingtable.h>

#include <QObject>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace vantor::session {
struct DecodedAnswer;
}

namespace vantor::views {

// A fixed-capacity ring: pushing onto a full ring drops its oldest element.
template<class T> class Ring
{
public:
    explicit Ring(std::size_t capacity = 0)
        : m_items(capacity)
    {
    }

    [[nodiscard]] std::size_t capacity() const { return m_items.size(); }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] bool empty() const { return m_size == 0; }
    [[nodiscard]] bool full() const { return m_size == m_items.size(); }
    // i = 0 is the oldest element held.
    [[nodiscard]] const T &operator[](std::size_t i) const { return m_items[slot(i)]; }
    [[nodiscard]] const T &back() const { return (*this)[m_size - 1]; }
    [[nodiscard]] T &back() { return m_items[slot(m_size - 1)]; }

    // Runs f(begin, end) over the elements [first, last) in at most two contiguous pieces.
    template<class F> void forRange(std::size_t first, std::size_t last, F &&f) const
    {
        if (first >= last)
            return;
        const std::size_t a = slot(first);
        const std::size_t n = last - first;
        const std::size_t head = std::min(n, m_items.size() - a);
        f(m_items.data() + a, m_items.data() + a + head);
        if (head < n)
            f(m_items.data(), m_items.data() + (n - head));
    }

    // Appends value; when the ring was full, returns the element that made room.
    std::optional<T> push(const T &value)
    {
        if (m_items.empty())
            return value;
        if (!full()) {
            m_items[slot(m_size++)] = value;
            return std::nullopt;
        }
        T dropped = std::exchange(m_items[m_first], value);
        m_first = m_first + 1 == m_items.size() ? 0 : m_first + 1;
        return dropped;
    }

private:
    [[nodiscard]] std::size_t slot(std::size_t i) const
    {
        const std::size_t at = m_first + i;
        return at >= m_items.size() ? at - m_items.size() : at;
    }

    std::vector<T> m_items;
    std::size_t m_first = 0;
    std::size_t m_size = 0;
};

// A ring of readings that knows its smallest and largest, rescanning only when one of them
// has dropped out.
class Series
{
public:
    explicit Series(std::size_t capacity = 0)
        : m_values(capacity)
    {
    }

    void push(float value);
    [[nodiscard]] const Ring<float> &values() const { return m_values; }
    // 0 while empty.
    [[nodiscard]] float min() const;
    [[nodiscard]] float max() const;

private:
    void rescan() const;

    Ring<float> m_values;
    mutable float m_min = 0;
    mutable float m_max = 0;
    mutable bool m_stale = false;
};

struct MinuteStat
{
    float min = 0;
    float mean = 0;
    float max = 0;
};

enum class Tier : std::uint8_t { Raw, Minutes };

// Series read together (the 24 of a port group, or the board's total): one time axis a tier.
class Lane
{
public:
    Lane(std::size_t seriesCount, std::size_t rawCapacity, std::size_t minuteCapacity);

    // One reading of every series. A time before the last one counts as the last one, so a
    // clock set back cannot unsort the rings.
    void append(qint64 utcMs, std::span<const float> values);

    [[nodiscard]] std::size_t seriesCount() const { return m_raw.size(); }
    [[nodiscard]] const Ring<qint64> &rawTimes() const { return m_rawTimes; }
    [[nodiscard]] const Series &raw(std::size_t series) const { return m_raw[series]; }
    // The minutes kept, then the one being collected: start times and statistics.
    [[nodiscard]] std::size_t minuteCount() const;
    [[nodiscard]] qint64 minuteTime(std::size_t i) const;
    [[nodiscard]] MinuteStat minute(std::size_t series, std::size_t i) const;

    // The tier that holds everything from `from` on: the raw one while it reaches back so far.
    [[nodiscard]] Tier tierFor(qint64 from) const;
    [[nodiscard]] std::optional<qint64> firstTime() const;
    [[nodiscard]] std::size_t memoryBytes() const;

private:
    struct Accumulator
    {
        float min = 0;
        float max = 0;
        double sum = 0;
    };
    void closeMinute();

    Ring<qint64> m_rawTimes;
    std::vector<Series> m_raw;
    Ring<qint64> m_minuteTimes;
    std::vector<Ring<MinuteStat>> m_minutes;
    std::vector<Accumulator> m_open;
    qint64 m_openMinute = 0;
    int m_openCount = 0;
};

// One pixel column of a plot: the lowest and the highest reading that falls in it.
struct ColumnExtent
{
    int column = 0;
    float low = 0;
    float high = 0;
    bool gapBefore = false; // the series was silent for longer than the tier's gap before it
};

// The longest silence a line is drawn across: a few missed refreshes, or a missed minute.
inline constexpr qint64 kRawGapMs = 5000;
inline constexpr qint64 kMinuteGapMs = 150'000;

// The readings of a lane that fall in one pixel column: indices [first, last) of the tier.
struct Bin
{
    int column = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    bool gapBefore = false;
};

// The times in [from, to) of one tier of a lane, sorted into `width` pixel columns. The series
// of a lane share their times, so a plot sorts each lane once and reduces each series by it.
void binLane(const Lane &lane, Tier tier, qint64 from, qint64 to, int width, std::vector<Bin> &out);
// One series by those bins: each column keeps its minimum and maximum, so no spike is lost
// however many readings share a column.
void reduceBins(const Lane &lane, std::size_t series, Tier tier, std::span<const Bin> bins,
                std::vector<ColumnExtent> &out);
// Both at once, for one series.
void reduce(const Lane &lane, std::size_t series, Tier tier, qint64 from, qint64 to, int width,
            std::vector<ColumnExtent> &out);

// One reading (raw: low = mean = high) or one minute.
struct Sample
{
    qint64 time = 0;
    float low = 0;
    float mean = 0;
    float high = 0;
};

// The last sample at or before t, when it is no older than the tier's gap.
[[nodiscard]] std::optional<Sample> sampleAt(const Lane &lane, std::size_t series, Tier tier,
                                             qint64 t);
// The lowest and highest sample (a minute's minimum and maximum) with a time in [from, to).
[[nodiscard]] std::optional<std::pair<float, float>> extentIn(const Lane &lane, std::size_t series,
                                                              Tier tier, qint64 from, qint64 to);
// Every sample with a time in [from, to), oldest first.
void samplesIn(const Lane &lane, std::size_t series, Tier tier, qint64 from, qint64 to,
               const std::function<void(const Sample &)> &take);

enum class Quantity : std::uint8_t { Power, Current, Voltage, BoardPower };

struct QuantityRow
{
    Quantity quantity;
    std::string_view key;
    std::string_view caption;
    std::string_view unit;
};

namespace detail {
[[nodiscard]] constexpr const codec::ColumnRow &column(codec::Column c)
{
    return codec::kColumns[static_cast<std::size_t>(c)];
}
} // namespace detail

// The port quantities take their names from the record columns; the total is the window's.
inline constexpr std::array<QuantityRow, 4> kQuantities { {
    { Quantity::Power, detail::column(codec::Column::Power).key,
      detail::column(codec::Column::Power).caption, detail::column(codec::Column::Power).unit },
    { Quantity::Current, detail::column(codec::Column::Current).key,
      detail::column(codec::Column::Current).caption, detail::column(codec::Column::Current).unit },
    { Quantity::Voltage, detail::column(codec::Column::Voltage).key,
      detail::column(codec::Column::Voltage).caption, detail::column(codec::Column::Voltage).unit },
    { Quantity::BoardPower, "board_power_w", "Total Port Power (W)", "W" },
} };

[[nodiscard]] constexpr const QuantityRow &quantityRow(Quantity q)
{
    return kQuantities[static_cast<std::size_t>(q)];
}

// A plotted series: a port's quantity (ports 1..48), or the board's total (port 0).
struct SeriesId
{
    int port = 0;
    Quantity quantity = Quantity::Power;

    bool operator==(const SeriesId &) const = default;
};

class TrendStore : public QObject
{
    Q_OBJECT
public:
    static constexpr int kGroupLanes = codec::kMaxPortCount / codec::kPortsPerGroup;
    static constexpr int kPortQuantities = 3;
    static constexpr std::size_t kRawCapacity = 3600 * 2;
    static constexpr std::size_t kMinuteCapacity = 7 * 24 * 60;

    explicit TrendStore(std::size_t rawCapacity = kRawCapacity,
                        std::size_t minuteCapacity = kMinuteCapacity, QObject *parent = nullptr);
    ~TrendStore() override;

    void add(const session::DecodedAnswer &answer);

    // Where a series is kept; no lane before its group's first answer.
    struct Place
    {
        const Lane *lane = nullptr;
        std::size_t series = 0;
    };
    [[nodiscard]] Place find(SeriesId id) const;
    [[nodiscard]] std::optional<qint64> firstTime() const;
    [[nodiscard]] std::optional<qint64> lastTime() const;
    [[nodiscard]] std::size_t memoryBytes() const;
    // The ports of the board, from the port count of the latest answer (8 before the first).
    [[nodiscard]] int portCount() const { return m_portCount; }

signals:
    void appended();
    void portCountChanged(int ports);

private:
    std::size_t m_rawCapacity;
    std::size_t m_minuteCapacity;
    std::array<std::unique_ptr<Lane>, kGroupLanes> m_groups;
    std::unique_ptr<Lane> m_board;
    int m_portCount = codec::kPortsPerGroup;
};

} // namespace vantor::views

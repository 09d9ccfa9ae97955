// SPDX-License-Identifier: MIT
#include "trendplot.h"

#include "trendlabels.h"

#include <codec/numbertext.h>
#include <codec/tabletext.h>
#include <protocol/timer.h>
#include <records/recordformat.h>

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

#include <array>
#include <cmath>

namespace vantor::views {

namespace {

constexpr std::array<qint64, 3> kSpanMs { kMinute, 10 * kMinute, kHour };
// "All" never shows less than this, so a fresh start is not one stretched reading.
constexpr qint64 kShortestAll = 10 * kSecond;

constexpr std::array<qint64, 18> kTimeSteps {
    kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,   2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
};

constexpr int kLeftMargin = 62;
constexpr int kRightMargin = 12;
constexpr int kTopMargin = 4;
constexpr int kBottomMargin = 22;
constexpr int kPaneGap = 6;
constexpr int kMinTickSpacing = 100;

QString seriesName(const SeriesId &id)
{
    return id.quantity == Quantity::BoardPower ? QObject::tr("Board")
                                               : QObject::tr("Port %1").arg(id.port);
}

// A round step that splits the range into about four.
double niceStep(double range)
{
    const double raw = range / 4.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double r = raw / magnitude;
    return (r < 1.5 ? 1.0 : r < 3.0 ? 2.0 : r < 7.0 ? 5.0 : 10.0) * magnitude;
}

const QColor kGridColour(225, 225, 225);

struct ValueTicks
{
    int decimals = 0;
    std::vector<double> values;
};

// Round values that split [low, high] into about four.
ValueTicks valueTicks(float low, float high)
{
    const double step = niceStep(static_cast<double>(high) - low);
    ValueTicks ticks { std::max(0, static_cast<int>(-std::floor(std::log10(step)))), {} };
    for (double v = std::ceil(low / step) * step; v <= high; v += step)
        ticks.values.push_back(v);
    return ticks;
}

QString timeLabel(qint64 t, qint64 step, qint64 span)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(t, Qt::UTC);
    if (span > kDay && step >= kHour)
        return at.toString(step >= kDay ? u"MM-dd" : u"MM-dd HH:mm");
    return at.toString(step < kMinute ? u"HH:mm:ss" : u"HH:mm");
}

} // namespace

TrendPlot::TrendPlot(const TrendStore &store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_ownTimer(std::make_unique<protocol::QtTimer>())
{
    setRepaintTimer(*m_ownTimer);
    setObjectName(QStringLiteral("TrendPlot"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 200);
    connect(&store, &TrendStore::appended, this, [this] { ++m_dataVersion; });
}

TrendPlot::~TrendPlot() = default;

void TrendPlot::setRepaintTimer(protocol::Timer &timer)
{
    const bool running = m_timer && m_timer->isActive();
    if (m_timer) {
        m_timer->stop();
        disconnect(m_timer, nullptr, this, nullptr);
    }
    m_timer = &timer;
    m_timer->setInterval(kRepaintIntervalMs);
    connect(m_timer, &protocol::Timer::timeout, this, &TrendPlot::onRepaintTick);
    if (running)
        m_timer->start();
}

void TrendPlot::setPorts(const QList<int> &ports)
{
    m_ports = ports;
    layoutPanes();
}

void TrendPlot::setQuantities(const QList<Quantity> &quantities)
{
    m_quantities = quantities;
    layoutPanes();
}

void TrendPlot::setSpan(Span span)
{
    m_span = span;
    emit spanChanged();
    update();
}

void TrendPlot::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused) {
        m_frozenTo = now();
        m_timer->stop();
    } else if (isVisible()) {
        m_timer->start();
    }
    emit spanChanged();
    update();
}

void TrendPlot::setCursorTime(std::optional<qint64> utcMs)
{
    m_cursor = utcMs;
    emit cursorMoved();
    update();
}

qint64 TrendPlot::now() const
{
    const std::optional<qint64> last = m_store.lastTime();
    return std::max(m_clock(), last ? *last + 1 : qint64 { 0 });
}

TrendPlot::TimeWindow TrendPlot::timeWindow() const
{
    const qint64 to = m_paused ? m_frozenTo : now();
    if (m_span != Span::All)
        return { to - kSpanMs[static_cast<std::size_t>(m_span)], to };
    const qint64 first = m_store.firstTime().value_or(to - kShortestAll);
    return { std::min(first, to - kShortestAll), to };
}

QList<SeriesId> TrendPlot::shownSeries() const
{
    QList<SeriesId> all;
    for (const Pane &pane : m_panes)
        all += pane.series;
    return all;
}

void TrendPlot::layoutPanes()
{
    m_panes.clear();
    for (const QuantityRow &row : kQuantities) {
        if (!m_quantities.contains(row.quantity))
            continue;
        Pane pane { row.quantity, {}, {}, 0, 1, {} };
        if (row.quantity == Quantity::BoardPower) {
            pane.series << SeriesId { 0, row.quantity };
        } else {
            for (int port : std::as_const(m_ports))
                pane.series << SeriesId { port, row.quantity };
        }
        pane.columns.resize(static_cast<std::size_t>(pane.series.size()));
        m_panes.push_back(std::move(pane));
    }
    m_reduced.dataVersion = ~quint64 { 0 };
    update();
}

QRect TrendPlot::plotArea() const
{
    return rect().adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
}

int TrendPlot::xOf(qint64 t, const TimeWindow &window, const QRect &area) const
{
    return area.left()
        + static_cast<int>(static_cast<double>(t - window.from) * area.width()
                           / static_cast<double>(window.to - window.from));
}

void TrendPlot::placePanes(const QRect &area)
{
    const int titleHeight = fontMetrics().height() + 2;
    const int n = static_cast<int>(m_panes.size());
    const int paneHeight = (area.height() - (n - 1) * kPaneGap) / n;
    for (int i = 0; i < n; ++i) {
        const int top = area.top() + i * (paneHeight + kPaneGap);
        m_panes[static_cast<std::size_t>(i)].area
            = QRect(area.left(), top + titleHeight, area.width(), paneHeight - titleHeight);
    }
}

void TrendPlot::reducePanes(const TimeWindow &window, int width)
{
    // Each lane's times are sorted into columns once; its series are reduced by them.
    m_bins.clear();
    const auto binsOf = [&](const Lane &lane) -> const LaneBins & {
        for (const LaneBins &b : m_bins) {
            if (b.lane == &lane)
                return b;
        }
        LaneBins &b = m_bins.emplace_back();
        b.lane = &lane;
        b.tier = lane.tierFor(window.from);
        binLane(lane, b.tier, window.from, window.to, width, b.bins);
        return b;
    };
    for (Pane &pane : m_panes) {
        std::optional<std::pair<float, float>> shown;
        for (qsizetype i = 0; i < pane.series.size(); ++i) {
            std::vector<ColumnExtent> &columns = pane.columns[static_cast<std::size_t>(i)];
            const TrendStore::Place place = m_store.find(pane.series[i]);
            if (!place.lane) {
                columns.clear();
                continue;
            }
            const LaneBins &bins = binsOf(*place.lane);
            reduceBins(*place.lane, place.series, bins.tier, bins.bins, columns);
            for (const ColumnExtent &c : columns) {
                shown = shown
                    ? std::pair { std::min(shown->first, c.low), std::max(shown->second, c.high) }
                    : std::pair { c.low, c.high };
            }
        }
        std::tie(pane.low, pane.high) = axisRange(pane.quantity, shown);
    }
}

int TrendPlot::yOf(const Pane &pane, double value)
{
    const double scale = (pane.area.height() - 1) / (static_cast<double>(pane.high) - pane.low);
    return pane.area.bottom() - static_cast<int>(std::floor((value - pane.low) * scale + 0.5));
}

void TrendPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const TimeWindow window = timeWindow();
    const QRect area = plotArea();
    if (area.width() <= 0 || area.height() <= 0 || m_panes.empty()) {
        painter.fillRect(rect(), Qt::white);
        painter.setPen(Qt::darkGray);
        painter.drawText(area, Qt::AlignCenter, tr("Choose ports and quantities to plot"));
        return;
    }
    // Moving the cursor alone repaints from the layer as it is.
    if (m_reduced.dataVersion != m_dataVersion || m_reduced.window.from != window.from
        || m_reduced.window.to != window.to || m_reduced.size != size()) {
        placePanes(area);
        reducePanes(window, area.width());
        renderLayer(window, area);
        m_reduced = { m_dataVersion, window, size() };
    }
    // The layer covers the plot area; only the margins around it need a background.
    painter.drawImage(area.topLeft(), m_layer, QRect(QPoint(0, 0), area.size()));
    const QRegion margins = QRegion(rect()) - QRegion(area);
    for (const QRect &r : margins)
        painter.fillRect(r, Qt::white);
    drawLabels(painter, window, area);

    if (m_cursor && *m_cursor >= window.from && *m_cursor < window.to) {
        const int x = xOf(*m_cursor, window, area);
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        painter.drawLine(x, area.top(), x, area.bottom());
    }
}

std::vector<qint64> TrendPlot::timeTicks(const TimeWindow &window, int width, qint64 *stepOut)
{
    const qint64 span = window.to - window.from;
    const qint64 most = std::max(1, width / kMinTickSpacing);
    qint64 step = kTimeSteps.back();
    for (qint64 s : kTimeSteps) {
        if (span / s <= most) {
            step = s;
            break;
        }
    }
    while (span / step > most)
        step *= 2;
    if (stepOut)
        *stepOut = step;
    std::vector<qint64> ticks;
    for (qint64 t = (window.from / step + 1) * step; t < window.to; t += step)
        ticks.push_back(t);
    return ticks;
}

void TrendPlot::renderLayer(const TimeWindow &window, const QRect &area)
{
    // Rows an odd number of cache lines long: with a power-of-two-like row length, a column of
    // pixels maps onto a few cache sets only and drawing one thrashes the cache.
    int cacheLines = (area.width() + 15) / 16;
    cacheLines += cacheLines % 2 == 0 ? 1 : 0;
    const QSize layerSize(cacheLines * 16, area.height());
    if (m_layer.size() != layerSize)
        m_layer = QImage(layerSize, QImage::Format_RGB32);
    m_layer.fill(Qt::white);
    auto *bits = reinterpret_cast<QRgb *>(m_layer.bits());
    const qsizetype stride = m_layer.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    const int width = area.width();
    const auto column = [&](int x, int from, int to, QRgb rgb) {
        QRgb *p = bits + from * stride + x;
        for (int y = from; y <= to; ++y, p += stride)
            *p = rgb;
    };

    const QRgb grid = kGridColour.rgb();
    const std::vector<qint64> ticks = timeTicks(window, width);
    for (const Pane &pane : m_panes) {
        const QRect box = pane.area.translated(-area.topLeft());
        for (double v : valueTicks(pane.low, pane.high).values) {
            QRgb *row = bits + (yOf(pane, v) - area.top()) * stride;
            std::fill(row, row + width, grid);
        }
        for (qint64 t : ticks)
            column(xOf(t, window, area) - area.left(), box.top(), box.bottom(), grid);
    }

    // Every series is drawn as bars one pixel wide: each column's extent, stretched to meet
    // the column before it, and between readings further apart than a column the line that
    // joins them, column by column. Going column by column through all series of a pane keeps
    // the pixels being written in the processor's cache: a day of noisy readings touches a
    // million of them, which costs many times more when stroked line by line.
    struct Track
    {
        const std::vector<ColumnExtent> *columns;
        QRgb rgb;
        std::size_t next = 0;
        // Between readings further apart than a column: the line's height at the left edge
        // of the next column, and how much it changes a column.
        double lineY = 0;
        double slope = 0;
    };
    std::vector<Track> tracks;
    for (const Pane &pane : m_panes) {
        const QRect box = pane.area.translated(-area.topLeft());
        const double scale = (box.height() - 1) / (static_cast<double>(pane.high) - pane.low);
        const auto y = [&](double v) {
            return box.bottom() - static_cast<int>(std::floor((v - pane.low) * scale + 0.5));
        };
        const auto centre = [&](const ColumnExtent &c) {
            return (y(c.high) + y(c.low)) / 2.0;
        };
        const auto bar = [&](int x, int from, int to, QRgb rgb) {
            if (x >= 0 && x < width)
                column(x, std::clamp(from, box.top(), box.bottom()),
                       std::clamp(to, box.top(), box.bottom()), rgb);
        };
        tracks.clear();
        for (qsizetype i = 0; i < pane.series.size(); ++i) {
            const int port = pane.series[i].port;
            tracks.push_back({ &pane.columns[static_cast<std::size_t>(i)],
                               (port == 0 ? QColor(Qt::black) : views::portColour(port)).rgb() });
        }
        for (int x = 0; x < width; ++x) {
            for (Track &t : tracks) {
                const std::vector<ColumnExtent> &cols = *t.columns;
                const std::size_t k = t.next;
                if (k >= cols.size())
                    continue;
                const ColumnExtent &c = cols[k];
                const bool joined = k > 0 && !c.gapBefore;
                if (c.column != x) {
                    if (!joined)
                        continue;
                    // Between two readings: the stretch of the line from one to the other.
                    const double a = t.lineY;
                    const double b = a + t.slope;
                    t.lineY = b;
                    bar(x, static_cast<int>(std::lround(std::min(a, b))),
                        static_cast<int>(std::lround(std::max(a, b))), t.rgb);
                    continue;
                }
                t.next = k + 1;
                int from = y(c.high);
                int to = y(c.low);
                if (joined) {
                    const ColumnExtent &p = cols[k - 1];
                    if (p.column == x - 1) {
                        from = std::min(from, y(p.low));
                        to = std::max(to, y(p.high));
                    } else {
                        from = std::min(from, static_cast<int>(std::lround(t.lineY)));
                        to = std::max(to, static_cast<int>(std::lround(t.lineY)));
                    }
                }
                // Towards a reading further on, half a column of the line that joins them.
                if (k + 1 < cols.size() && !cols[k + 1].gapBefore && cols[k + 1].column > x + 1) {
                    const ColumnExtent &n = cols[k + 1];
                    t.slope = (centre(n) - centre(c)) / (n.column - x);
                    t.lineY = centre(c) + t.slope * 0.5;
                    from = std::min(from, static_cast<int>(std::lround(t.lineY)));
                    to = std::max(to, static_cast<int>(std::lround(t.lineY)));
                }
                const bool alone = !joined && (k + 1 == cols.size() || cols[k + 1].gapBefore);
                if (alone) {
                    for (int dx = -1; dx <= 1; ++dx)
                        bar(x + dx, from - 1, to + 1, t.rgb);
                } else {
                    bar(x, from, to, t.rgb);
                }
            }
        }
    }
}

void TrendPlot::drawLabel(QPainter &painter, int x, int baseline, const QString &text) const
{
    auto kept = m_labels.find(text);
    if (kept == m_labels.end()) {
        if (m_labels.size() >= kMaxLabels)
            m_labels.clear();
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), font());
        kept = m_labels.insert(text, laidOut);
    }
    painter.drawStaticText(QPointF(x, baseline - fontMetrics().ascent()), *kept);
}

void TrendPlot::drawLabels(QPainter &painter, const TimeWindow &window, const QRect &area) const
{
    const QFontMetrics metrics = fontMetrics();
    const qint64 span = window.to - window.from;
    qint64 step = 0;
    painter.setPen(Qt::black);
    for (qint64 t : timeTicks(window, area.width(), &step)) {
        const QString label = timeLabel(t, step, span);
        drawLabel(painter, xOf(t, window, area) - metrics.horizontalAdvance(label) / 2,
                  area.bottom() + metrics.ascent() + 4, label);
    }
    drawLabel(painter, 2, area.bottom() + metrics.ascent() + 4, tr("UTC"));

    for (const Pane &pane : m_panes) {
        const QRect &a = pane.area;
        // Title, then a legend as far as it fits.
        painter.setPen(Qt::black);
        const QString title = codec::tableText(quantityRow(pane.quantity).caption);
        int x = a.left();
        const int baseline = a.top() - metrics.descent() - 2;
        drawLabel(painter, x, baseline, title);
        x += metrics.horizontalAdvance(title) + 12;
        for (const SeriesId &id : pane.series) {
            const QString name = seriesName(id);
            const int w = 14 + metrics.horizontalAdvance(name) + 10;
            if (x + w > a.right())
                break;
            painter.fillRect(x, baseline - metrics.ascent() / 2 - 1, 10, 3,
                             id.port == 0 ? QColor(Qt::black) : views::portColour(id.port));
            drawLabel(painter, x + 14, baseline, name);
            x += w;
        }
        const ValueTicks ticks = valueTicks(pane.low, pane.high);
        for (double v : ticks.values) {
            const QString label = QString::number(v, 'f', ticks.decimals);
            drawLabel(painter, a.left() - metrics.horizontalAdvance(label) - 6,
                      yOf(pane, v) + metrics.ascent() / 2 - 1, label);
        }
        painter.setPen(QColor(160, 160, 160));
        painter.drawRect(a.adjusted(0, 0, -1, -1));
    }
}

void TrendPlot::mouseMoveEvent(QMouseEvent *event)
{
    const QRect area = plotArea();
    const int x = event->position().toPoint().x();
    if (x < area.left() || x > area.right() || area.width() <= 0)
        return;
    const TimeWindow window = timeWindow();
    setCursorTime(window.from
                  + static_cast<qint64>(static_cast<double>(x - area.left())
                                        * static_cast<double>(window.to - window.from)
                                        / area.width()));
}

void TrendPlot::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_paused)
        m_timer->start();
}

void TrendPlot::hideEvent(QHideEvent *event)
{
    m_timer->stop();
    QWidget::hideEvent(event);
}

void TrendPlot::onRepaintTick()
{
    // A long span moves by less than a pixel column between two refreshes: it waits for one.
    const TimeWindow window = timeWindow();
    const int width = std::max(1, plotArea().width());
    if (window.to - m_reduced.window.to >= (window.to - window.from) / width)
        update();
}

QByteArray TrendPlot::shownCsv() const
{
    const TimeWindow window = timeWindow();
    QByteArray out = "timestamp,port,quantity,min,mean,max\r\n";
    for (const SeriesId &id : shownSeries()) {
        const TrendStore::Place place = m_store.find(id);
        if (!place.lane)
            continue;
        const std::string_view key = quantityRow(id.quantity).key;
        const QByteArray lead = ',' + (id.port > 0 ? QByteArray::number(id.port) : QByteArray())
            + ',' + QByteArray(key.data(), static_cast<qsizetype>(key.size())) + ',';
        samplesIn(*place.lane, place.series, place.lane->tierFor(window.from), window.from,
                  window.to, [&](const Sample &s) {
                      out += records::csvField(records::isoTimestamp(s.time)) + lead
                          + plainNumber(s.low).toLatin1() + ',' + plainNumber(s.mean).toLatin1()
                          + ',' + plainNumber(s.high).toLatin1() + "\r\n";
                  });
    }
    return out;
}

QString TrendPlot::rangeText() const
{
    const TimeWindow window = timeWindow();
    return views::rangeText(window.from, window.to, !m_paused && m_span != Span::All);
}

QList<std::pair<float, float>> TrendPlot::paneRanges() const
{
    QList<std::pair<float, float>> ranges;
    for (const Pane &pane : m_panes)
        ranges << std::pair { pane.low, pane.high };
    return ranges;
}

QString TrendPlot::cursorText() const
{
    if (!m_cursor)
        return tr("Point at the plot to read the values at a time.");
    const TimeWindow window = timeWindow();
    const QString range = rangeText();
    QStringList lines { records::isoTimestamp(*m_cursor) };
    for (const SeriesId &id : shownSeries()) {
        const TrendStore::Place place = m_store.find(id);
        const Tier tier = place.lane ? place.lane->tierFor(*m_cursor) : Tier::Raw;
        const std::optional<Sample> s
            = place.lane ? sampleAt(*place.lane, place.series, tier, *m_cursor) : std::nullopt;
        if (!s) {
            lines << tr("%1: no reading").arg(seriesCaption(id));
            continue;
        }
        QStringList extremes;
        if (tier == Tier::Minutes)
            extremes << tr("that minute %1 to %2")
                            .arg(plainNumber(s->low), valueText(id.quantity, s->high));
        const std::optional<std::pair<float, float>> extent = extentIn(
            *place.lane, place.series, place.lane->tierFor(window.from), window.from, window.to);
        if (extent)
            extremes << tr("%1: %2 to %3")
                            .arg(range, plainNumber(extent->first),
                                 valueText(id.quantity, extent->second));
        QString line = readingText(id, s->mean);
        if (!extremes.isEmpty())
            line += QStringLiteral(" (") + extremes.join(QStringLiteral("; ")) + u')';
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace vantor::views

// SPDX-License-Identifier: MIT
#include "trendplot.h"

#include <codec/numbertext.h>
#include <codec/records.h>
#include <session/recordformat.h>

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include <array>
#include <cmath>

namespace vantor::views {

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

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

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString seriesName(const SeriesId &id)
{
    return id.quantity == Quantity::BoardPower ? QObject::tr("Board")
                                               : QObject::tr("Port %1").arg(id.port);
}

QString number(float v)
{
    return codec::numberText(v, QLocale::c());
}

// A round step that splits the range into about four.
double niceStep(double range)
{
    const double raw = range / 4.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double r = raw / magnitude;
    return (r < 1.5 ? 1.0 : r < 3.0 ? 2.0 : r < 7.0 ? 5.0 : 10.0) * magnitude;
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
{
    setObjectName(QStringLiteral("TrendPlot"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 200);
    connect(&store, &TrendStore::appended, this, [this] { ++m_dataVersion; });
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
    update();
}

void TrendPlot::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused) {
        m_frozenTo = now();
        m_timer.stop();
    } else if (isVisible()) {
        m_timer.start(kRepaintIntervalMs, this);
    }
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

void TrendPlot::reducePanes(const TimeWindow &window, int width)
{
    for (Pane &pane : m_panes) {
        bool any = false;
        float low = 0;
        float high = 0;
        for (qsizetype i = 0; i < pane.series.size(); ++i) {
            std::vector<ColumnExtent> &columns = pane.columns[static_cast<std::size_t>(i)];
            const TrendStore::Place place = m_store.find(pane.series[i]);
            if (!place.lane) {
                columns.clear();
                continue;
            }
            reduce(*place.lane, place.series, place.lane->tierFor(window.from), window.from,
                   window.to, width, columns);
            for (const ColumnExtent &c : columns) {
                low = any ? std::min(low, c.low) : c.low;
                high = any ? std::max(high, c.high) : c.high;
                any = true;
            }
        }
        if (!any)
            high = 1;
        if (high - low < 1e-3f) {
            low -= 1;
            high += 1;
        }
        const float pad = (high - low) * 0.05f;
        pane.low = low - pad;
        pane.high = high + pad;
    }
}

void TrendPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const TimeWindow window = timeWindow();
    const QRect area = plotArea();
    if (area.width() <= 0 || area.height() <= 0)
        return;
    if (m_panes.empty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(area, Qt::AlignCenter, tr("Choose ports and quantities to plot"));
        return;
    }
    if (m_reduced.dataVersion != m_dataVersion || m_reduced.window.from != window.from
        || m_reduced.window.to != window.to || m_reduced.size != size()) {
        reducePanes(window, area.width());
        m_reduced = { m_dataVersion, window, size() };
    }

    const int titleHeight = fontMetrics().height() + 2;
    const int n = static_cast<int>(m_panes.size());
    const int paneHeight = (area.height() - (n - 1) * kPaneGap) / n;
    for (int i = 0; i < n; ++i) {
        const int top = area.top() + i * (paneHeight + kPaneGap);
        m_panes[static_cast<std::size_t>(i)].area
            = QRect(area.left(), top + titleHeight, area.width(), paneHeight - titleHeight);
    }
    drawTimeAxis(painter, window, area);
    for (const Pane &pane : m_panes)
        drawPane(painter, pane);

    if (m_cursor && *m_cursor >= window.from && *m_cursor < window.to) {
        const int x = xOf(*m_cursor, window, area);
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        painter.drawLine(x, area.top(), x, area.bottom());
    }
}

void TrendPlot::drawTimeAxis(QPainter &painter, const TimeWindow &window, const QRect &area) const
{
    const qint64 span = window.to - window.from;
    qint64 step = kTimeSteps.back();
    for (qint64 s : kTimeSteps) {
        if (span / s <= std::max(1, area.width() / kMinTickSpacing)) {
            step = s;
            break;
        }
    }
    while (span / step > area.width() / kMinTickSpacing + 1)
        step *= 2;
    painter.setPen(Qt::black);
    const QFontMetrics metrics = fontMetrics();
    for (qint64 t = (window.from / step + 1) * step; t < window.to; t += step) {
        const int x = xOf(t, window, area);
        painter.setPen(QColor(225, 225, 225));
        for (const Pane &pane : m_panes)
            painter.drawLine(x, pane.area.top(), x, pane.area.bottom());
        painter.setPen(Qt::black);
        const QString label = timeLabel(t, step, span);
        const int w = metrics.horizontalAdvance(label);
        painter.drawText(x - w / 2, area.bottom() + metrics.ascent() + 4, label);
    }
    const QString utc = tr("UTC");
    painter.drawText(rect().right() - metrics.horizontalAdvance(utc) - 2,
                     area.bottom() + metrics.ascent() + 4, utc);
}

void TrendPlot::drawPane(QPainter &painter, const Pane &pane) const
{
    const QRect &a = pane.area;
    const QFontMetrics metrics = fontMetrics();
    const double range = pane.high - pane.low;
    const auto yOf = [&](float v) {
        return a.bottom() - (static_cast<double>(v) - pane.low) / range * (a.height() - 1);
    };

    // Title, then a legend as far as it fits.
    const QuantityRow &row = quantityRow(pane.quantity);
    painter.setPen(Qt::black);
    const QString title = latin1(row.caption);
    int x = a.left();
    const int baseline = a.top() - metrics.descent() - 2;
    painter.drawText(x, baseline, title);
    x += metrics.horizontalAdvance(title) + 12;
    for (const SeriesId &id : pane.series) {
        const QString name = seriesName(id);
        const int w = 14 + metrics.horizontalAdvance(name) + 10;
        if (x + w > a.right())
            break;
        painter.fillRect(x, baseline - metrics.ascent() / 2 - 1, 10, 3,
                         id.port == 0 ? QColor(Qt::black) : portColour(id.port));
        painter.drawText(x + 14, baseline, name);
        x += w;
    }

    // Horizontal grid and the value labels.
    const double step = niceStep(range);
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step))));
    for (double v = std::ceil(pane.low / step) * step; v <= pane.high; v += step) {
        const int y = static_cast<int>(std::lround(yOf(static_cast<float>(v))));
        painter.setPen(QColor(225, 225, 225));
        painter.drawLine(a.left(), y, a.right(), y);
        painter.setPen(Qt::black);
        const QString label = QString::number(v, 'f', decimals);
        painter.drawText(a.left() - metrics.horizontalAdvance(label) - 6,
                         y + metrics.ascent() / 2 - 1, label);
    }
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(a.adjusted(0, 0, -1, -1));

    painter.save();
    painter.setClipRect(a);
    QPolygonF line;
    for (qsizetype i = 0; i < pane.series.size(); ++i) {
        const SeriesId &id = pane.series[i];
        painter.setPen(QPen(id.port == 0 ? QColor(Qt::black) : portColour(id.port), 1));
        const auto flush = [&] {
            if (line.size() == 2 && line[0] == line[1])
                painter.drawRect(QRectF(line[0] - QPointF(1, 1), QSizeF(2, 2)));
            else if (!line.isEmpty())
                painter.drawPolyline(line);
            line.clear();
        };
        for (const ColumnExtent &c : pane.columns[static_cast<std::size_t>(i)]) {
            if (c.gapBefore)
                flush();
            const double px = a.left() + c.column + 0.5;
            line << QPointF(px, yOf(c.high)) << QPointF(px, yOf(c.low));
        }
        flush();
    }
    painter.restore();
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
        m_timer.start(kRepaintIntervalMs, this);
}

void TrendPlot::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void TrendPlot::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timer.timerId())
        update();
    else
        QWidget::timerEvent(event);
}

QColor TrendPlot::portColour(int port)
{
    static constexpr std::array<QRgb, 12> kColours {
        0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b,
        0xe377c2, 0x17becf, 0xbcbd22, 0x7f7f7f, 0x393b79, 0xad494a,
    };
    return QColor::fromRgb(
        kColours[static_cast<std::size_t>(std::max(port - 1, 0)) % kColours.size()]);
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
                      out += session::csvField(codec::isoTimestamp(s.time)) + lead
                          + number(s.low).toLatin1() + ',' + number(s.mean).toLatin1() + ','
                          + number(s.high).toLatin1() + "\r\n";
                  });
    }
    return out;
}

QString TrendPlot::cursorText() const
{
    if (!m_cursor)
        return tr("Point at the plot to read the values at a time.");
    QStringList lines { codec::isoTimestamp(*m_cursor) };
    for (const SeriesId &id : shownSeries()) {
        const TrendStore::Place place = m_store.find(id);
        const QuantityRow &row = quantityRow(id.quantity);
        QString line
            = seriesName(id) + QStringLiteral(" ") + latin1(row.key) + QStringLiteral(": ");
        const Tier tier = place.lane ? place.lane->tierFor(*m_cursor) : Tier::Raw;
        const std::optional<Sample> s
            = place.lane ? sampleAt(*place.lane, place.series, tier, *m_cursor) : std::nullopt;
        if (!s)
            line += tr("no reading");
        else if (tier == Tier::Raw)
            line += tr("%1 (last hour %2 to %3)")
                        .arg(number(s->mean), number(place.lane->raw(place.series).min()),
                             number(place.lane->raw(place.series).max()));
        else
            line
                += tr("%1 (minute %2 to %3)").arg(number(s->mean), number(s->low), number(s->high));
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace vantor::views

// SPDX-License-Identifier: MIT
#pragma once

#include "trendstore.h"

#include <QHash>
#include <QImage>
#include <QStaticText>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantor::protocol {
class Timer;
}

namespace vantor::views {

// Trend plots drawn with QPainter: one pane per quantity, one line per series, against UTC
// time. Each series is reduced to the lowest and highest reading of every pixel column, so a
// repaint costs the same for a minute or a week. Repaints while shown, at most at the refresh
// rate and no more often than the time axis moves by a column; a paused plot stays where it
// is while the history goes on filling.
class TrendPlot : public QWidget
{
    Q_OBJECT
public:
    enum class Span : std::uint8_t { OneMinute, TenMinutes, OneHour, All };
    static constexpr int kRepaintIntervalMs = 500;

    explicit TrendPlot(const TrendStore &store, QWidget *parent = nullptr);
    ~TrendPlot() override;

    void setPorts(const QList<int> &ports);
    void setQuantities(const QList<Quantity> &quantities);
    void setSpan(Span span);
    void setPaused(bool paused);
    [[nodiscard]] bool paused() const { return m_paused; }
    // Where "now" comes from (UTC milliseconds); the benchmark and tests set their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // The timer that paces repaints (tests fire theirs by hand); it must outlive this plot.
    void setRepaintTimer(protocol::Timer &timer);
    void setCursorTime(std::optional<qint64> utcMs);
    [[nodiscard]] std::optional<qint64> cursorTime() const { return m_cursor; }

    // The times shown, [from, to).
    struct TimeWindow
    {
        qint64 from = 0;
        qint64 to = 0;
    };
    [[nodiscard]] TimeWindow timeWindow() const;
    [[nodiscard]] QList<SeriesId> shownSeries() const;
    // The shown data as CSV: each reading (or minute) of each shown series in the window.
    [[nodiscard]] QByteArray shownCsv() const;
    // The span shown, named as the read-out and a saved picture name it.
    [[nodiscard]] QString rangeText() const;
    // The value of each shown series at the cursor, a line each, with its extremes over the
    // span shown.
    [[nodiscard]] QString cursorText() const;
    // The value range of each shown pane, top to bottom, as the last paint laid them out.
    [[nodiscard]] QList<std::pair<float, float>> paneRanges() const;

signals:
    void cursorMoved();
    // The span or the pause changed: the span shown is named anew.
    void spanChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Pane
    {
        Quantity quantity;
        QList<SeriesId> series;
        std::vector<std::vector<ColumnExtent>> columns; // by series
        float low = 0;
        float high = 1;
        QRect area;
    };

    struct LaneBins
    {
        const Lane *lane = nullptr;
        Tier tier = Tier::Raw;
        std::vector<Bin> bins;
    };

    void onRepaintTick();
    [[nodiscard]] QRect plotArea() const;
    [[nodiscard]] qint64 now() const;
    void layoutPanes();
    void placePanes(const QRect &area);
    void reducePanes(const TimeWindow &window, int width);
    // The plot area without its labels: background, grid and the series.
    void renderLayer(const TimeWindow &window, const QRect &area);
    void drawLabels(QPainter &painter, const TimeWindow &window, const QRect &area) const;
    void drawLabel(QPainter &painter, int x, int baseline, const QString &text) const;
    [[nodiscard]] int xOf(qint64 t, const TimeWindow &window, const QRect &area) const;
    [[nodiscard]] static int yOf(const Pane &pane, double value);
    [[nodiscard]] static std::vector<qint64> timeTicks(const TimeWindow &window, int width,
                                                       qint64 *step = nullptr);

    const TrendStore &m_store;
    std::function<qint64()> m_clock;
    QList<int> m_ports;
    QList<Quantity> m_quantities;
    Span m_span = Span::TenMinutes;
    bool m_paused = false;
    qint64 m_frozenTo = 0;
    std::optional<qint64> m_cursor;
    std::vector<Pane> m_panes;
    std::vector<LaneBins> m_bins;
    QImage m_layer;
    // Labels laid out once: the time labels recur for as long as they are on the axis.
    static constexpr qsizetype kMaxLabels = 512;
    mutable QHash<QString, QStaticText> m_labels;
    std::unique_ptr<protocol::Timer> m_ownTimer;
    protocol::Timer *m_timer = nullptr;
    // What the reduced columns were made for; a repaint that moves only the cursor reuses them.
    quint64 m_dataVersion = 0;
    struct Reduced
    {
        quint64 dataVersion = ~quint64 { 0 };
        TimeWindow window;
        QSize size;
    } m_reduced;
};

} // namespace vantor::views

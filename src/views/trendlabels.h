// SPDX-License-Identifier: MIT
#pragma once

// What the trend plots say beside their lines: the ports a board has, each port's colour,
// the read-out of one reading, the name of the shown span, a pane's value range and the
// title strip of a saved picture.

#include "trendstore.h"

#include <QColor>
#include <QString>

#include <optional>
#include <utility>

namespace vantor::views {

// Lengths of time in milliseconds, as the trend store keeps time.
inline constexpr qint64 kSecond = 1000;
inline constexpr qint64 kMinute = 60 * kSecond;
inline constexpr qint64 kHour = 60 * kMinute;
inline constexpr qint64 kDay = 24 * kHour;

// The ports of a board reporting that port count: 8 to 48 in steps of 8. A count the board
// never reports counts as the nearest one it does below (0 and 13 as 8, 200 as 48).
[[nodiscard]] int boardPortCount(int reported);

// A port's colour (1..48), each far from the colours of the ports before it and all dark
// enough to read on the plots' white.
[[nodiscard]] QColor portColour(int port);

// "Port 1 power", "Total Port Power": the series and its caption without the unit, from the
// record columns.
[[nodiscard]] QString seriesCaption(const SeriesId &id);
// "Port 1 power 6 W": the caption, the value and the unit.
[[nodiscard]] QString readingText(const SeriesId &id, float value);
// A reading as the records write it: "6", "12.5".
[[nodiscard]] QString plainNumber(float value);
// The value alone with its unit: "6 W".
[[nodiscard]] QString valueText(Quantity quantity, float value);

// The span shown, [from, to): "last 10 min" while it ends now and is one of the fixed spans,
// else the times it covers in UTC ("12:01-12:31 UTC", with seconds below ten minutes and with
// dates when it crosses a day).
[[nodiscard]] QString rangeText(qint64 from, qint64 to, bool endsNow);

// The value range of a pane from the lowest and highest reading shown (nothing shown: 0 to
// 1): a little room above and below, a unit more on a flat line. The total power starts at 0,
// so that it reads against the total power limit.
[[nodiscard]] std::pair<float, float> axisRange(Quantity quantity,
                                                std::optional<std::pair<float, float>> shown);

// The line above a saved plot: title, the board's device, the time it was saved (UTC) and
// the span shown.
[[nodiscard]] QString titleStripText(const QString &title, const QString &device, qint64 utcMs,
                                     const QString &range);

} // namespace vantor::views

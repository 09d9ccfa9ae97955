// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

namespace vantor::window {

// A one-line label for the status bar: a text longer than the room it gets ends in "…"
// instead of widening the window, and the whole text shows on hover. Accessibility clients
// read the whole text.
class ElidingLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    [[nodiscard]] QSize minimumSizeHint() const override;
    // The text as drawn in the current width.
    [[nodiscard]] QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};

} // namespace vantor::window

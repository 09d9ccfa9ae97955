// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QWidget>

class QLabel;
class QStatusBar;

namespace vantor::window {

class ElidingLabel;

enum class StatusKind {
    Note,         // a remark, replaced by the next message
    Confirmation, // what the operator asked for was done
    Problem,      // something was refused or went wrong; stays until the next message
};

// The window's status bar and the one place where every view tells the operator something.
// A message area shows the newest message; conditions (no answer, link lost) show while they
// last and are taken away when they end, leaving the newest condition still on in view. A field
// before them says since when the readings are stale; permanent fields after them, what waits
// to be sent and what state the port is in. No text
// is ever clipped: what does not fit ends in an ellipsis, with the whole text as its tooltip.
class StatusLine : public QObject
{
    Q_OBJECT
public:
    explicit StatusLine(QStatusBar *bar);

    void show(const QString &message, StatusKind kind = StatusKind::Note);
    // A message that lasts as long as its condition, named by key; set again to change it.
    void setCondition(const QString &key, const QString &message);
    void clearCondition(const QString &key);
    [[nodiscard]] bool hasCondition(const QString &key) const;

    // The message in view, whole.
    [[nodiscard]] QString text() const;

    // Empty: the readings are current and the field is hidden.
    void setStaleText(const QString &text, const QString &why = {});
    [[nodiscard]] QString staleText() const;

    // Empty: nothing waits to be sent and the field is hidden; detail: what waits.
    void setUnsentText(const QString &text, const QString &detail = {});
    [[nodiscard]] QString unsentText() const;
    void setPortState(const QString &text);
    [[nodiscard]] QString portState() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void display(const QString &text, const QString &key);

    ElidingLabel *m_message = nullptr;
    ElidingLabel *m_stale = nullptr;
    ElidingLabel *m_unsent = nullptr;
    ElidingLabel *m_port = nullptr;
    QStatusBar *m_bar = nullptr;
    // Oldest first.
    QList<QPair<QString, QString>> m_conditions;
    QString m_shownKey;
};

// A one-line label that never clips: the text that does not fit ends in "…" and the label's
// tooltip holds it whole. It asks the layout for room for its whole text, but can be squeezed.
class ElidingLabel : public QWidget
{
    Q_OBJECT
public:
    explicit ElidingLabel(QWidget *parent = nullptr);

    void setText(const QString &text);
    [[nodiscard]] QString text() const { return m_text; }
    // More to say in the tooltip, after the whole text when that does not fit.
    void setDetail(const QString &detail);
    // Not squeezable: it keeps room for its whole text (for short texts that must be read).
    void setSqueezable(bool squeezable);
    // What is drawn now.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] bool isElided() const { return shownText() != m_text; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateShown();

    QLabel *m_label = nullptr;
    QString m_text;
    QString m_detail;
    bool m_squeezable = true;
};

} // namespace vantor::window

// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QIODevice;
class QImage;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace vantor::views {

class TrendPlot;
class TrendStore;

// The trend plots with their choices: ports, quantities, span, pause; a cursor read-out; the
// plot saved as PNG and the shown data as CSV.
class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TrendWindow(const TrendStore &store, QWidget *parent = nullptr);

    [[nodiscard]] TrendPlot &plot() { return *m_plot; }
    // The board's device, for the title of a saved picture.
    void setDeviceSource(std::function<QString()> device) { m_device = std::move(device); }
    // The plot under a strip that names it, the board's device, the time and the span.
    [[nodiscard]] QImage picture() const;
    bool savePng(const QString &path);
    bool saveCsv(const QString &path);

signals:
    // The outcome of saving a file: ok, or why not.
    void reported(const QString &message, bool ok);

private:
    void showPorts(int count);
    void showRange();
    void applyChoices();
    void askAndSave(bool png);
    // failed and saved take the error and the path as %1.
    bool save(const QString &path, const std::function<bool(QIODevice &)> &write,
              const QString &failed, const QString &saved);

    std::function<QString()> m_device;
    TrendPlot *m_plot = nullptr;
    QListWidget *m_ports = nullptr;
    std::array<QCheckBox *, 4> m_quantities {};
    QComboBox *m_span = nullptr;
    QPushButton *m_pause = nullptr;
    QLabel *m_range = nullptr;
    QLabel *m_readout = nullptr;
};

} // namespace vantor::views

// SPDX-License-Identifier: MIT
#include "trendwindow.h"

#include "logging.h"
#include "recorder.h"
#include "savepath.h"
#include "trendlabels.h"
#include "trendplot.h"
#include "trendstore.h"

#include <codec/tabletext.h>
#include <records/savefile.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vantor::views {

namespace {

QIcon swatch(const QColor &colour)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

} // namespace

TrendWindow::TrendWindow(const TrendStore &store, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("TrendWindow"));
    setWindowTitle(tr("Trends"));
    setAttribute(Qt::WA_QuitOnClose, false);

    m_plot = new TrendPlot(store, this);

    m_ports = new QListWidget(this);
    m_ports->setObjectName(QStringLiteral("TrendPorts"));
    connect(m_ports, &QListWidget::itemChanged, this, &TrendWindow::applyChoices);

    auto *quantities = new QGroupBox(tr("Quantities"), this);
    auto *quantityLayout = new QVBoxLayout(quantities);
    for (std::size_t i = 0; i < kQuantities.size(); ++i) {
        auto *box = new QCheckBox(codec::tableText(kQuantities[i].caption), quantities);
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, &TrendWindow::applyChoices);
        quantityLayout->addWidget(box);
        m_quantities[i] = box;
    }

    m_span = new QComboBox(this);
    m_span->setObjectName(QStringLiteral("TrendSpan"));
    m_span->addItems({ tr("1 min"), tr("10 min"), tr("1 h"), tr("All since start") });
    m_span->setCurrentIndex(static_cast<int>(TrendPlot::Span::TenMinutes));
    connect(m_span, &QComboBox::currentIndexChanged, this,
            [this](int i) { m_plot->setSpan(static_cast<TrendPlot::Span>(i)); });
    m_range = new QLabel(this);
    m_range->setObjectName(QStringLiteral("TrendRange"));

    m_pause = new QPushButton(tr("&Pause"), this);
    m_pause->setObjectName(QStringLiteral("TrendPause"));
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, [this](bool on) {
        m_plot->setPaused(on);
        m_pause->setText(on ? tr("&Resume") : tr("&Pause"));
    });
    auto *png = new QPushButton(tr("Save &PNG..."), this);
    auto *csv = new QPushButton(tr("Save &CSV..."), this);
    connect(png, &QPushButton::clicked, this, [this] { askAndSave(true); });
    connect(csv, &QPushButton::clicked, this, [this] { askAndSave(false); });

    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("TrendReadout"));
    m_readout->setWordWrap(true);
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_readout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(m_plot, &TrendPlot::cursorMoved, this,
            [this] { m_readout->setText(m_plot->cursorText()); });

    auto *side = new QVBoxLayout;
    side->addWidget(new QLabel(tr("Ports"), this));
    side->addWidget(m_ports, 3);
    side->addWidget(quantities);
    auto *spanRow = new QHBoxLayout;
    spanRow->addWidget(new QLabel(tr("Span"), this));
    spanRow->addWidget(m_span, 1);
    side->addLayout(spanRow);
    side->addWidget(m_range);
    side->addWidget(m_pause);
    auto *saveRow = new QHBoxLayout;
    saveRow->addWidget(png);
    saveRow->addWidget(csv);
    side->addLayout(saveRow);
    side->addWidget(new QLabel(tr("At the cursor"), this));
    // The read-out scrolls, so that a long list of series never squeezes the choices above.
    auto *readout = new QScrollArea(this);
    readout->setWidget(m_readout);
    readout->setWidgetResizable(true);
    side->addWidget(readout, 2);
    auto *sideWidget = new QWidget(this);
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(230);

    auto *note = new QLabel(historyNote(), this);
    note->setObjectName(QStringLiteral("HistoryNote"));
    note->setWordWrap(true);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note->setForegroundRole(QPalette::PlaceholderText);

    auto *layout = new QGridLayout(this);
    layout->addWidget(sideWidget, 0, 0, 2, 1);
    layout->addWidget(m_plot, 0, 1);
    layout->addWidget(note, 1, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(0, 1);

    showPorts(store.portCount());
    connect(&store, &TrendStore::portCountChanged, this, &TrendWindow::showPorts);
    // An absolute span moves on with every answer.
    connect(&store, &TrendStore::appended, this, &TrendWindow::showRange);
    connect(m_plot, &TrendPlot::spanChanged, this, &TrendWindow::showRange);
    showRange();
    m_readout->setText(m_plot->cursorText());
    resize(1100, 700);
}

// The board's ports: ports added are offered unticked, the choices of the others are kept.
void TrendWindow::showPorts(int count)
{
    {
        const QSignalBlocker blocker(m_ports);
        while (m_ports->count() > count)
            delete m_ports->takeItem(m_ports->count() - 1);
        for (int port = m_ports->count() + 1; port <= count; ++port) {
            auto *item
                = new QListWidgetItem(swatch(portColour(port)), tr("Port %1").arg(port), m_ports);
            item->setData(Qt::UserRole, port);
            item->setCheckState(port <= codec::kPortsPerGroup ? Qt::Checked : Qt::Unchecked);
        }
    }
    applyChoices();
}

void TrendWindow::showRange()
{
    m_range->setText(tr("Shown: %1").arg(m_plot->rangeText()));
}

void TrendWindow::applyChoices()
{
    QList<int> ports;
    for (int row = 0; row < m_ports->count(); ++row) {
        const QListWidgetItem *item = m_ports->item(row);
        if (item->checkState() == Qt::Checked)
            ports << item->data(Qt::UserRole).toInt();
    }
    QList<Quantity> quantities;
    for (std::size_t i = 0; i < m_quantities.size(); ++i) {
        if (m_quantities[i]->isChecked())
            quantities << kQuantities[i].quantity;
    }
    m_plot->setPorts(ports);
    m_plot->setQuantities(quantities);
}

QImage TrendWindow::picture() const
{
    const QPixmap plot = m_plot->grab();
    const QString title = titleStripText(windowTitle(), m_device ? m_device() : QString(),
                                         m_plot->timeWindow().to, m_plot->rangeText());
    QFont bold = font();
    bold.setBold(true);
    const int strip = QFontMetrics(bold).height() + 12;
    QImage image(plot.width(), plot.height() + strip, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(bold);
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, 0, image.width() - 16, strip), Qt::AlignLeft | Qt::AlignVCenter,
                     title);
    painter.setPen(QColor(160, 160, 160));
    painter.drawLine(0, strip - 1, image.width() - 1, strip - 1);
    painter.drawPixmap(0, strip, plot);
    return image;
}

bool TrendWindow::savePng(const QString &path)
{
    const QImage picture = this->picture();
    return save(
        path, [&picture](QIODevice &file) { return picture.save(&file, "PNG"); },
        tr("Plot not saved: %1"), tr("Plot saved to %1"));
}

bool TrendWindow::saveCsv(const QString &path)
{
    const QByteArray csv = m_plot->shownCsv();
    return save(
        path, [&csv](QIODevice &file) { return file.write(csv) == csv.size(); },
        tr("Plot data not saved: %1"), tr("Plot data saved to %1"));
}

bool TrendWindow::save(const QString &path, const std::function<bool(QIODevice &)> &write,
                       const QString &failed, const QString &saved)
{
    QString error;
    if (!records::saveWhole(path, write, error)) {
        const QString message = failed.arg(error);
        qCWarning(lcViews).noquote() << message;
        emit reported(message, false);
        return false;
    }
    emit reported(saved.arg(path), true);
    return true;
}

void TrendWindow::askAndSave(bool png)
{
    const QString path
        = askSavePath(this, png ? tr("Save Plot") : tr("Save Plot Data"),
                      png ? tr("PNG images (*.png)") : tr("CSV files (*.csv);;All files (*)"),
                      png ? QStringLiteral("png") : QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    if (png)
        savePng(path);
    else
        saveCsv(path);
}

} // namespace vantor::views

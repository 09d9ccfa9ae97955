// SPDX-License-Identifier: MIT
#include "trendwindow.h"

#include "logging.h"
#include "savepath.h"
#include "trendplot.h"

#include <codec/tabletext.h>
#include <records/savefile.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
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
    for (int port = 1; port <= codec::kMaxPortCount; ++port) {
        auto *item = new QListWidgetItem(swatch(TrendPlot::portColour(port)),
                                         tr("Port %1").arg(port), m_ports);
        item->setData(Qt::UserRole, port);
        item->setCheckState(port <= codec::kPortsPerGroup ? Qt::Checked : Qt::Unchecked);
    }
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

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(sideWidget);
    layout->addWidget(m_plot, 1);

    applyChoices();
    m_readout->setText(m_plot->cursorText());
    resize(1100, 700);
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

bool TrendWindow::savePng(const QString &path)
{
    const QPixmap picture = m_plot->grab();
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

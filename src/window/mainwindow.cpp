// SPDX-License-Identifier: MIT
#include "mainwindow.h"

#include "accessibility.h"
#include "artwork.h"
#include "decodeglue.h"
#include "keyboard.h"
#include "layout.h"
#include "ledwidget.h"
#include "logging.h"
#include "numericentry.h"
#include "panelfont.h"
#include "portpicker.h"
#include "screenfit.h"
#include "sessionreports.h"
#include "staledisplay.h"
#include "statusline.h"
#include "windowstore.h"

#include <protocol/transactionengine.h>
#include <serial/portinfo.h>
#include <serial/seriallink.h>
#include <session/reconnector.h>
#include <session/reopenpolicy.h>
#include <session/session.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <cmath>

namespace vantor::window {

using layout::Container;
using layout::Look;
using layout::Show;
using layout::toPixels;
using layout::Twips;

namespace {

constexpr int kGroups = protocol::kGroupCount;
constexpr int kColumns = protocol::kPortsPerGroup;

QRect pixels(const Twips &t)
{
    return { toPixels(t.left), toPixels(t.top), toPixels(t.width), toPixels(t.height) };
}

constexpr qreal kSmallPoints = 8.25;
constexpr qreal kFramePoints = 9.0;
constexpr qreal kVersionPoints = 9.75;
constexpr int kOneLineHeight = 255;

// Frames are opaque (the captions designed to lie under one stay covered) and draw their
// caption on the border line, so that the designed child positions
// (240 twips below a frame's top for the first row) clear it.
constexpr auto kFrameStyle = R"(
QGroupBox {
    border: 1px solid palette(mid);
    margin-top: 7px;
    background-color: palette(window);
}
QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 6px;
    padding: 0 2px;
}
)";

// A label shows its caption without mnemonic markers: "&&" is one "&", a single "&" vanishes.
QString displayCaption(const char *caption)
{
    const QString text = QString::fromUtf8(caption);
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

QStringList items(const char *list)
{
    return QString::fromUtf8(list).split(u'|');
}

QRgb lookColour(Look look)
{
    switch (look) {
    case Look::Orange:
        return layout::kOrange;
    case Look::Green:
        return layout::kGreen;
    case Look::Yellow:
        return layout::kYellow;
    case Look::Caption:
    case Look::BoldCaption:
        break;
    }
    return 0;
}

bool isValueLook(Look look)
{
    return look == Look::Orange || look == Look::Green || look == Look::Yellow;
}

QLabel *makeLabel(QWidget *parent, const QString &name, const char *caption, const Twips &place,
                  Look look, qreal points = kSmallPoints)
{
    auto *label = new QLabel(displayCaption(caption), parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    // Captions of two lines' height wrap; the panel's face fits the others in their boxes.
    const bool oneLine = place.height <= kOneLineHeight;
    label->setWordWrap(!oneLine);
    label->setGeometry(pixels(place));
    if (isValueLook(look)) {
        label->setFont(panelFont(points, true));
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, QColor(lookColour(look)));
        label->setPalette(palette);
    } else {
        label->setFont(panelFont(points, look == Look::BoldCaption));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    return label;
}

void applyShow(QWidget *widget, Show show)
{
    if (show == Show::Hidden)
        widget->setHidden(true);
    else if (show == Show::Covered)
        widget->lower();
}

// The tab strip, which also tells where its pane and page area lie.
class PortStrip final : public QTabWidget
{
public:
    using QTabWidget::QTabWidget;

    [[nodiscard]] QRect paneRect() const { return subRect(QStyle::SE_TabWidgetTabPane); }
    [[nodiscard]] QRect pageRect() const { return subRect(QStyle::SE_TabWidgetTabContents); }

private:
    [[nodiscard]] QRect subRect(QStyle::SubElement element) const
    {
        QStyleOptionTabWidgetFrame option;
        initStyleOption(&option);
        return style()->subElementRect(element, &option, this);
    }
};

} // namespace

MainWindow::MainWindow(session::Session &session, QWidget *parent)
    : QMainWindow(parent)
    , m_session(&session)
    , m_masterFrameTopTwips(layout::kMasterFrame.top)
{
    setWindowTitle(tr("Vantor Control Panel"));
    setWindowIcon(paintWindowIcon());
    setFont(panelFont(kSmallPoints, false));

    buildMenu();
    buildContent();
    describeForAccessibility(m_controls);
    setUpKeyboard(*this, m_controls);
    scrollContent(*this,
                  { toPixels(layout::kDesignedWidth),
                    toPixels(layout::kDesignedClientHeight) + m_tabHeaderHeight });
    buildStatusBar();

    m_store = std::make_unique<WindowStore>(m_controls, [this](const QString &message) {
        m_status->show(message, StatusKind::Problem);
    });
    m_session->attachStore(*m_store);
    m_session->setPortGroupSource([this] { return m_controls.Port_Control->currentIndex(); });

    auto ports = std::make_shared<serial::SystemPortInfoSource>();
    m_portPicker = new PortPicker(menuBar()->findChild<QMenu *>(QStringLiteral("SetPort")),
                                  { m_controls.Comm1, m_controls.Comm2, m_controls.Comm3 },
                                  *m_session, ports, this);
    m_reconnector = new session::Reconnector(*m_session, this);
    m_reconnector->setPortInfoSource(ports);
    m_reopenPolicy = new session::ReopenPolicy(*m_session, this);

    connectHandlers();
    connectReports();
    m_reports->showPortState();
    resize(startupClientSize());
}

MainWindow::~MainWindow()
{
    // The session outlives the window: it must not reach the controls or the tab strip.
    m_session->setPortGroupSource({});
    m_session->detachStore(*m_store);
}

void MainWindow::buildMenu()
{
    QMenu *portSet = menuBar()->addMenu(QStringLiteral("&Serial Link Setup"));
    portSet->setObjectName(QStringLiteral("PortSet"));
    QMenu *setPort = portSet->addMenu(QStringLiteral("Set &Port"));
    setPort->setObjectName(QStringLiteral("SetPort"));
    QAction **actions[] = { &m_controls.Comm1, &m_controls.Comm2, &m_controls.Comm3 };
    for (int n = 1; n <= serial::PortMap::kPortCount; ++n) {
        QAction *action = setPort->addAction(QStringLiteral("COMM &%1").arg(n));
        action->setObjectName(QStringLiteral("Comm%1").arg(n));
        *actions[n - 1] = action;
    }
    m_menus = addPanelMenus(*this);
}

void MainWindow::buildContent()
{
    MainControls &c = m_controls;
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Client"));
    setCentralWidget(central);

    c.Image2 = new PictureWidget(paintBanner(), central);
    c.Image2->setObjectName(QStringLiteral("Image2"));
    c.Image2->setGeometry(pixels(layout::kImage2));

    c.Master_Frame = new QFrame(central);
    c.Master_Frame->setObjectName(QStringLiteral("Master_Frame"));
    c.Master_Frame->setFrameShape(QFrame::NoFrame);
    c.Master_Frame->setGeometry(pixels(layout::kMasterFrame));
    c.Master_Frame->setStyleSheet(QString::fromLatin1(kFrameStyle));

    c.VScroll1 = new QScrollBar(Qt::Vertical, central);
    c.VScroll1->setObjectName(QStringLiteral("VScroll1"));
    c.VScroll1->setGeometry(pixels(layout::kVScroll1));
    // Values are twips of content moved up; one step is one pixel.
    c.VScroll1->setRange(0, layout::kMasterFrame.height);
    c.VScroll1->setSingleStep(layout::kTwipsPerPixel);
    c.VScroll1->setPageStep(100 * layout::kTwipsPerPixel);
    c.VScroll1->setHidden(true);
    m_scrollBarHeightTwips = layout::kVScroll1.height;

    std::array<QWidget *, 6> containers {};
    containers[static_cast<int>(Container::Master)] = c.Master_Frame;
    for (const layout::FrameRow &row : layout::kFrames) {
        auto *frame = new QGroupBox(QString::fromUtf8(row.caption), c.Master_Frame);
        frame->setObjectName(QString::fromUtf8(row.name));
        frame->setFont(panelFont(row.large ? kFramePoints : kSmallPoints, true));
        frame->setGeometry(pixels(row.place));
        c.*row.member = frame;
    }
    containers[static_cast<int>(Container::SysCtrl)] = c.Sys_Ctrl;
    containers[static_cast<int>(Container::SysInfo)] = c.Sys_Info;
    containers[static_cast<int>(Container::Frame1)] = c.Frame1;
    containers[static_cast<int>(Container::Frame2)] = c.Frame2;
    containers[static_cast<int>(Container::Frame3)] = c.Frame3;
    const auto in = [&containers](Container container) {
        return containers[static_cast<int>(container)];
    };

    c.Image3 = new PictureWidget(paintBoardPicture(), c.Master_Frame);
    c.Image3->setObjectName(QStringLiteral("Image3"));
    c.Image3->setGeometry(pixels(layout::kImage3));
    c.Image1 = new PictureWidget(paintBadge(), c.Master_Frame);
    c.Image1->setObjectName(QStringLiteral("Image1"));
    c.Image1->setGeometry(pixels(layout::kImage1));
    c.Image1->setHidden(true);

    for (const layout::Label1Row &row : layout::kLabel1) {
        const Look look = row.index == 0 ? Look::BoldCaption : Look::Caption;
        QLabel *label = makeLabel(in(row.container), QStringLiteral("Label1_%1").arg(row.index),
                                  row.caption, row.place, look);
        applyShow(label, row.show);
        c.Label1[static_cast<std::size_t>(row.index)] = label;
    }
    for (const layout::LabelRow &row : layout::kLabels) {
        const bool version = row.member == &MainControls::Label5;
        QLabel *label = makeLabel(in(row.container), QString::fromUtf8(row.name), row.caption,
                                  row.place, row.look, version ? kVersionPoints : kSmallPoints);
        applyShow(label, row.show);
        c.*row.member = label;
    }
    for (const layout::CheckRow &row : layout::kChecks) {
        auto *box = new QCheckBox(QString::fromUtf8(row.caption), in(row.container));
        box->setObjectName(QString::fromUtf8(row.name));
        box->setFont(panelFont(kSmallPoints, false));
        box->setGeometry(pixels(row.place));
        setCheckValue(box, row.value);
        box->setEnabled(row.enabled);
        applyShow(box, row.show);
        c.*row.member = box;
    }
    for (const layout::EntryRow &row : layout::kEntries) {
        auto *entry = new NumericEntry(row.typedLimit, in(row.container));
        entry->setObjectName(QString::fromUtf8(row.name));
        entry->setFont(panelFont(kSmallPoints, false));
        entry->setText(QString::fromUtf8(row.text));
        entry->setGeometry(pixels(row.place));
        entry->setEnabled(row.enabled);
        applyShow(entry, row.show);
        c.*row.member = entry;
    }
    for (const layout::ScaleRow &row : layout::kScales) {
        const QString quantity = QString::fromUtf8(row.quantity);
        const auto makeScale = [&](const char *prefix, const char *text, int left, int limit) {
            auto *entry = new NumericEntry(limit, c.Master_Frame);
            entry->setObjectName(
                QStringLiteral("%1_%2_Scale").arg(QLatin1String(prefix), quantity));
            entry->setFont(panelFont(kSmallPoints, false));
            entry->setText(QString::fromUtf8(text));
            entry->setAlignment(Qt::AlignHCenter);
            entry->setGeometry(
                pixels({ left, row.top, layout::kScaleWidth, layout::kScaleHeight }));
            entry->setEnabled(false);
            entry->setHidden(true);
            return entry;
        };
        ScalePair &pair = c.*row.member;
        pair.m = makeScale("m", "1", layout::kScaleSlopeLeft, layout::kScaleSlopeLimit);
        pair.b = makeScale("b", "0", layout::kScaleOffsetLeft, layout::kScaleOffsetLimit);
    }
    // The lists are never shown: they hold values. No font is given them, because a font change
    // makes a list build its popup, which was a third of the window's construction time.
    for (const layout::ComboRow &row : layout::kCombos) {
        auto *list = new QComboBox(c.Master_Frame);
        list->setObjectName(QString::fromUtf8(row.name));
        list->addItems(items(row.items));
        list->setGeometry(pixels(row.place));
        list->setHidden(true);
        c.*row.member = list;
    }
    installKeyFilter(c.SYS_PORT_CNT);
    for (const layout::ButtonRow &row : layout::kButtons) {
        auto *button = new QPushButton(QString::fromUtf8(row.caption), in(row.container));
        button->setObjectName(QString::fromUtf8(row.name));
        button->setFont(panelFont(kSmallPoints, true));
        button->setGeometry(pixels(row.place));
        button->setEnabled(row.enabled);
        applyShow(button, row.show);
        c.*row.member = button;
    }

    auto *strip = new PortStrip(c.Master_Frame);
    strip->setObjectName(QStringLiteral("Port_Control"));
    strip->setFont(panelFont(kSmallPoints, false));
    c.Port_Control = strip;
    buildPortColumns();
}

void MainWindow::buildPortColumns()
{
    MainControls &c = m_controls;
    auto *strip = static_cast<PortStrip *>(c.Port_Control);
    for (int g = 0; g < kGroups; ++g) {
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("Port_Page_%1").arg(g));
        strip->addTab(page, tr("Ports %1-%2").arg(g * kColumns + 1).arg(g * kColumns + kColumns));
    }
    placeTabStrip();

    // Port frames stand a fixed distance below the pane's top, whatever the style's margins.
    const QPoint pageOffset = strip->paneRect().topLeft() - strip->pageRect().topLeft();
    for (int g = 0; g < kGroups; ++g) {
        QWidget *page = strip->widget(g);
        for (int column = 0; column < kColumns; ++column) {
            const int e = g * kColumns + column;
            const QString suffix = QStringLiteral("_%1").arg(e);
            const auto named = [&suffix](const char *name) {
                return QString::fromUtf8(name) + suffix;
            };
            const auto place = [column](const char *name, const Twips &designed) {
                return pixels(layout::portPlace(name, designed, column));
            };

            auto *frame = new QGroupBox(tr("Port %1").arg(e + 1), page);
            frame->setObjectName(QStringLiteral("Port_Frame") + suffix);
            frame->setFont(panelFont(kSmallPoints, true));
            frame->setGeometry(
                pixels({ layout::kPortFrameLeft + layout::kPortFrameStep * column,
                         layout::kPortFrameTop, layout::kPortFrameWidth, layout::kPortFrameHeight })
                    .translated(pageOffset));
            c.Port_Frame[e] = frame;

            for (const layout::PortCheckRow &row : layout::kPortChecks) {
                auto *box = new QCheckBox(frame);
                box->setObjectName(named(row.name));
                box->setAccessibleName(displayCaption(row.rowCaption));
                box->setGeometry(place(row.name, row.place));
                box->setEnabled(row.enabled);
                applyShow(box, row.show);
                row.array(c)[e] = box;
            }
            for (const layout::PortLedRow &row : layout::kPortLeds) {
                auto *led = new LedWidget(QColor(row.fill), frame);
                led->setObjectName(named(row.name));
                led->setGeometry(place(row.name, row.place));
                (c.*row.array)[e] = led;
            }
            for (const layout::PortValueRow &row : layout::kPortValues) {
                QLabel *label = makeLabel(frame, named(row.name), row.text,
                                          layout::portPlace(row.name, row.place, column), row.look);
                applyShow(label, row.show);
                (c.*row.array)[e] = label;
            }
            // Never shown, so given no font (as the lists above).
            for (const layout::PortListRow &row : layout::kPortLists) {
                auto *list = new QComboBox(frame);
                list->setObjectName(named(row.name));
                list->setAccessibleName(displayCaption(row.rowCaption));
                list->addItems(items(row.items));
                list->setGeometry(place(row.name, row.place));
                list->setEnabled(row.enabled);
                list->setHidden(true);
                (c.*row.array)[e] = list;
            }
            for (const layout::PortEntryRow &row : layout::kPortEntries) {
                auto *entry = new NumericEntry(row.typedLimit, frame);
                entry->setObjectName(named(row.name));
                entry->setFont(panelFont(kSmallPoints, false));
                entry->setAccessibleName(displayCaption(row.rowCaption));
                entry->setText(QString::fromUtf8(row.text));
                entry->setGeometry(place(row.name, row.place));
                entry->setEnabled(false);
                entry->setHidden(true);
                (c.*row.array)[e] = entry;
            }
        }
    }
}

// The design gives the strip no room for tab headers: they go above it, and the strip's pane
// with the two frames of row captions moves down by their height, so that every row caption
// stays level with its row of port controls. The window grows by the same height.
void MainWindow::placeTabStrip()
{
    MainControls &c = m_controls;
    auto *strip = static_cast<PortStrip *>(c.Port_Control);
    const QRect designed = pixels(layout::kPortControl);
    strip->setGeometry(designed);
    m_tabHeaderHeight = strip->paneRect().top();
    strip->setGeometry(designed.adjusted(0, 0, 0, m_tabHeaderHeight));

    const int paneTop = strip->y() + strip->paneRect().top();
    c.Frame2->move(c.Frame2->x(), paneTop);
    c.Frame3->move(c.Frame3->x(), paneTop + toPixels(layout::kFrame3Offset));
    c.Master_Frame->resize(c.Master_Frame->width(),
                           toPixels(layout::kMasterFrame.height) + m_tabHeaderHeight);
}

void MainWindow::buildStatusBar()
{
    m_status = new StatusLine(statusBar());
    statusBar()->setSizeGripEnabled(true);
}

QSize MainWindow::startupClientSize() const
{
    const int content = toPixels(layout::kDesignedClientHeight) + m_tabHeaderHeight;
    return { toPixels(layout::kDesignedWidth),
             menuBar()->sizeHint().height() + content + statusBar()->sizeHint().height() };
}

void MainWindow::connectHandlers()
{
    MainControls &c = m_controls;
    connect(c.Comm1, &QAction::triggered, this, &MainWindow::Comm1_Click);
    connect(c.Comm2, &QAction::triggered, this, &MainWindow::Comm2_Click);
    connect(c.Comm3, &QAction::triggered, this, &MainWindow::Comm3_Click);
    connect(c.COM_Reset_Cmd, &QPushButton::clicked, this, &MainWindow::COM_Reset_Cmd_Click);
    connect(c.Update_All, &QPushButton::clicked, this, &MainWindow::Update_All_Click);
    connect(c.TX_SYS_CTRL, &QPushButton::clicked, this, &MainWindow::TX_SYS_CTRL_Click);
    connect(c.TX_PRT_CTRL, &QPushButton::clicked, this, &MainWindow::TX_PRT_CTRL_Click);
    connect(c.Update_Port_Status, &QPushButton::clicked, this,
            &MainWindow::Update_Port_Status_Click);
    connect(c.Reset_GUI, &QPushButton::clicked, this, &MainWindow::Reset_GUI_Click);
    // Also runs when the program sets the value, as the auto-refresh switch must.
    connect(c.Interval_Update, &QCheckBox::stateChanged, this, &MainWindow::Interval_Update_Click);
    connect(c.Port_Control, &QTabWidget::currentChanged, this, &MainWindow::onTabChanged);
    connect(c.VScroll1, &QScrollBar::valueChanged, this, &MainWindow::VScroll1_Change);
    m_shownTab = c.Port_Control->currentIndex();
    connectEdits();
}

// The operator's own changes only: the signals below are not raised when decoding sets a value.
void MainWindow::connectEdits()
{
    for (const codec::SettingRow &row : codec::kSettings) {
        const bool port = row.scope == codec::Scope::Port;
        for (int e = 0; e < (port ? kElementCount : 1); ++e) {
            const int group = e / kColumns;
            const auto edited = [this, group, port] {
                if (port)
                    m_session->markEdited(group);
                showUnsent();
            };
            QWidget *control = m_store->control(row.setting, e);
            if (auto *box = qobject_cast<QCheckBox *>(control))
                connect(box, &QCheckBox::clicked, this, edited);
            else if (auto *list = qobject_cast<QComboBox *>(control))
                connect(list, &QComboBox::activated, this, edited);
            else if (auto *entry = qobject_cast<QLineEdit *>(control))
                connect(entry, &QLineEdit::textEdited, this, edited);
        }
    }
}

void MainWindow::connectReports()
{
    // Shown as it arrives, before the transaction ends, in the group the session kept it for.
    connect(m_session, &session::Session::answerDecoded, this,
            [this](const session::DecodedAnswer &a) {
                showAnswer(m_controls, a, m_session->portGroup());
            });
    connect(m_session, &session::Session::autoRefreshChanged, this, &MainWindow::showAutoRefresh);
    connect(m_session, &session::Session::requestFinished, this, &MainWindow::showUnsent);
    m_reports = new SessionReports(*m_session, *m_status, m_controls, this);
    m_reports->follow(*m_reconnector);
    m_reports->follow(*m_reopenPolicy);
    connect(m_portPicker, &PortPicker::problem, this,
            [this](const QString &message) { m_status->show(message, StatusKind::Problem); });
}

void MainWindow::setPortInfoSource(std::shared_ptr<const serial::PortInfoSource> source)
{
    m_portPicker->setSource(source);
    m_reconnector->setPortInfoSource(std::move(source));
}

StaleDisplay &MainWindow::staleDisplay()
{
    return m_reports->staleDisplay();
}

void MainWindow::showOutcome(const QString &message, bool ok)
{
    m_status->show(message, ok ? StatusKind::Confirmation : StatusKind::Problem);
    // A settings file opened, the settings dialog applied.
    showUnsent();
}

void MainWindow::showUnsent()
{
    const QStringList names = m_session->unsentChanges();
    QString text;
    if (names.size() == 1)
        text = tr("1 change not yet sent to the board");
    else if (names.size() > 1)
        text = tr("%1 changes not yet sent to the board").arg(names.size());
    m_status->setUnsentText(text, names.join(QLatin1Char('\n')));
}

QString MainWindow::outcomeText() const
{
    return m_status->text();
}

QString MainWindow::portStateText() const
{
    return m_status->portState();
}

void MainWindow::choosePort(int commPortNumber)
{
    m_session->choosePort(commPortNumber);
    m_reports->showPortState();
}

void MainWindow::Comm1_Click()
{
    choosePort(1);
}

void MainWindow::Comm2_Click()
{
    choosePort(2);
}

void MainWindow::Comm3_Click()
{
    choosePort(3);
}

void MainWindow::COM_Reset_Cmd_Click()
{
    m_session->resetPort();
    m_reports->showPortState();
}

void MainWindow::Update_All_Click()
{
    m_reports->expectLoad(m_session->loadFromDevice());
}

void MainWindow::TX_SYS_CTRL_Click()
{
    m_reports->expectSave(m_session->saveToDevice());
}

void MainWindow::TX_PRT_CTRL_Click()
{
    m_session->sendPortControl();
}

void MainWindow::Update_Port_Status_Click()
{
    m_session->refresh();
}

void MainWindow::Interval_Update_Click()
{
    const bool on = checkValue(m_controls.Interval_Update) != 0;
    m_session->setAutoRefresh(on);
    m_controls.Update_Port_Status->setEnabled(!on);
}

void MainWindow::showAutoRefresh(bool on)
{
    // Through the box, so that its handler runs as when the operator sets it.
    setCheckValue(m_controls.Interval_Update, on ? 1 : 0);
}

void MainWindow::Reset_GUI_Click()
{
    setCheckValue(m_controls.Interval_Update, 0);
    m_controls.Update_Port_Status->setEnabled(true);
    m_session->resetTransactions();
}

void MainWindow::onTabChanged(int index)
{
    const int previous = std::exchange(m_shownTab, index);
    Port_Control_Click(previous);
}

void MainWindow::Port_Control_Click(int previousTab)
{
    QTabWidget *strip = m_controls.Port_Control;
    const int tab = strip->currentIndex();
    if (m_session->groupAllowed(tab)) {
        m_session->groupSelected(tab);
        return;
    }
    // Back to the previous tab; if the port count has shrunk below that one too, to the last
    // tab allowed, so that two refused tabs cannot hand the selection back and forth forever.
    const int target
        = m_session->groupAllowed(previousTab) ? previousTab : m_session->highestAllowedGroup();
    m_status->show(tr("%1 are beyond the %2 ports in the system.")
                       .arg(strip->tabText(tab))
                       .arg(m_session->portCount()),
                   StatusKind::Note);
    strip->setCurrentIndex(target);
}

void MainWindow::formLoad(session::StartMode mode)
{
    m_controls.Port_Control->setCurrentIndex(0);
    m_session->start(mode);
    m_reports->showPortState();

    // The designed size plus the tab headers and the status bar.
    resize(startupClientSize());
    Form_Resize();
}

void MainWindow::applyWindowHeight(int heightTwips)
{
    if (heightTwips <= layout::kResizeMargin)
        return;
    m_scrollBarHeightTwips = heightTwips - layout::kResizeMargin;
    QScrollBar *bar = m_controls.VScroll1;
    bar->resize(bar->width(), toPixels(m_scrollBarHeightTwips));
}

void MainWindow::Form_Resize()
{
    applyWindowHeight(frameGeometry().height() * layout::kTwipsPerPixel);
}

void MainWindow::VScroll1_Change()
{
    m_masterFrameTopTwips = -m_controls.VScroll1->value();
    QFrame *frame = m_controls.Master_Frame;
    frame->move(frame->x(), toPixels(m_masterFrameTopTwips));
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

} // namespace vantor::window

// SPDX-License-Identifier: MIT
#include "portpicker.h"

#include "logging.h"

#include <serial/seriallink.h>
#include <session/session.h>

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace vantor::window {

namespace {

const QString kOrganization = QStringLiteral("vantor");
const QString kApplication = QStringLiteral("vantor-panel");
const QString kPortKey = QStringLiteral("port/com1");

// The same file, symbolic links followed (a by-id link and its ttyUSB name are one port).
bool sameDevice(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    const QString ca = QFileInfo(serial::systemPathOf(a)).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(serial::systemPathOf(b)).canonicalFilePath();
}

} // namespace

PortPicker::PortPicker(QMenu *setPort, const std::array<QAction *, 3> &commActions,
                       session::Session &session,
                       std::shared_ptr<const serial::PortInfoSource> source, QObject *parent)
    : QObject(parent)
    , m_menu(setPort)
    , m_comm(commActions)
    , m_session(session)
    , m_source(std::move(source))
{
    for (QAction *action : m_comm)
        action->setCheckable(true);
    m_separator = m_menu->addSeparator();
    connect(m_menu, &QMenu::aboutToShow, this, &PortPicker::refresh);
}

void PortPicker::setSource(std::shared_ptr<const serial::PortInfoSource> source)
{
    if (source)
        m_source = std::move(source);
}

QString PortPicker::caption(const serial::PortInfo &port)
{
    QStringList what;
    if (!port.description.isEmpty())
        what.append(port.description);
    if (!port.manufacturer.isEmpty() && port.manufacturer != port.description)
        what.append(port.manufacturer);
    if (!port.serialNumber.isEmpty())
        what.append(tr("serial %1").arg(port.serialNumber));
    const QString where = port.systemLocation.isEmpty() ? port.device : port.systemLocation;
    return what.isEmpty() ? where : tr("%1 \u2013 %2").arg(where, what.join(QStringLiteral(", ")));
}

void PortPicker::refresh()
{
    const bool open = m_session.isOpen();
    const QString openDevice = m_session.linkDevice();
    for (int n = 1; n <= static_cast<int>(m_comm.size()); ++n) {
        QAction *action = m_comm[static_cast<std::size_t>(n - 1)];
        const QString device = m_session.deviceOf(n);
        action->setToolTip(device);
        action->setStatusTip(device);
        action->setChecked(open && m_session.commPortNumber() == n);
    }

    for (QAction *action : std::as_const(m_portActions)) {
        m_menu->removeAction(action);
        action->deleteLater();
    }
    m_portActions.clear();

    const QList<serial::PortInfo> ports = m_source ? m_source->ports() : QList<serial::PortInfo>();
    if (ports.isEmpty()) {
        QAction *none = m_menu->addAction(tr("No serial adapters found"));
        none->setObjectName(QStringLiteral("NoDetectedPort"));
        none->setEnabled(false);
        m_portActions.append(none);
        return;
    }
    for (const serial::PortInfo &port : ports) {
        QAction *action = m_menu->addAction(caption(port));
        action->setObjectName(QStringLiteral("DetectedPort"));
        action->setData(port.device);
        const QString tip = tr("Open %1 as COMM 1").arg(port.device);
        action->setToolTip(tip);
        action->setStatusTip(tip);
        action->setCheckable(true);
        action->setChecked(open && sameDevice(port.device, openDevice));
        const QString device = port.device;
        connect(action, &QAction::triggered, this, [this, device] { choose(device); });
        m_portActions.append(action);
    }
}

void PortPicker::choose(const QString &device)
{
    qCInfo(lcWindow).noquote() << "port chosen from the list:" << device;
    m_session.mapDevice(1, device);
    m_session.choosePort(1);
    const QString notKept = rememberPort(device);
    if (!notKept.isEmpty())
        emit problem(notKept);
    emit portChosen(device);
}

QString rememberedPort()
{
    return QSettings(kOrganization, kApplication).value(kPortKey).toString();
}

QString rememberPort(const QString &device)
{
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kPortKey, device);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return {};
    return PortPicker::tr("%1 will not be opened at the next start: %2 cannot be written.")
        .arg(device, settings.fileName());
}

} // namespace vantor::window

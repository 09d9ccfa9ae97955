// SPDX-License-Identifier: MIT
#include "networkboarddialog.h"

#include <serial/deviceurl.h>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace vantor::window {

QString askNetworkBoard(QWidget *parent, const QString &current)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("NetworkBoardDialog"));
    dialog.setWindowTitle(QDialog::tr("Network Board"));
    auto *form = new QFormLayout(&dialog);

    auto *kind = new QComboBox(&dialog);
    kind->setObjectName(QStringLiteral("NetworkBoardKind"));
    kind->addItem(QDialog::tr("RFC 2217 (telnet, line set by the panel)"),
                  QStringLiteral("rfc2217"));
    kind->addItem(QDialog::tr("Raw TCP (line set by the server)"), QStringLiteral("tcp"));
    auto *host = new QLineEdit(&dialog);
    host->setObjectName(QStringLiteral("NetworkBoardHost"));
    host->setPlaceholderText(QDialog::tr("name, IPv4 or IPv6 address"));
    auto *port = new QSpinBox(&dialog);
    port->setObjectName(QStringLiteral("NetworkBoardPort"));
    port->setRange(1, 65535);
    port->setValue(4000);

    if (const auto url = serial::parseDeviceUrl(current)) {
        kind->setCurrentIndex(url->transport == serial::Transport::Tcp ? 1 : 0);
        host->setText(url->host);
        port->setValue(url->port);
    }

    form->addRow(QDialog::tr("&Kind:"), kind);
    form->addRow(QDialog::tr("&Host:"), host);
    form->addRow(QDialog::tr("&Port:"), port);
    auto *problem = new QLabel(&dialog);
    problem->setObjectName(QStringLiteral("NetworkBoardProblem"));
    problem->setWordWrap(true);
    form->addRow(problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);

    QString chosen;
    const auto compose = [&] {
        QString h = host->text().trimmed();
        if (h.startsWith(u'[') && h.endsWith(u']'))
            h = h.mid(1, h.size() - 2);
        if (h.contains(u':'))
            h = u'[' + h + u']';
        return QStringLiteral("%1://%2:%3").arg(kind->currentData().toString(), h).arg(port->value());
    };
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        QString why;
        const QString name = compose();
        if (host->text().trimmed().isEmpty() || !serial::parseDeviceUrl(name, &why)) {
            problem->setText(host->text().trimmed().isEmpty() ? QDialog::tr("A host is needed.")
                                                              : why);
            return;
        }
        chosen = name;
        dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return chosen;
}

} // namespace vantor::window

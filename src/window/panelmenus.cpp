// SPDX-License-Identifier: MIT
#include "panelmenus.h"

#include "legend.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

namespace vantor::window {

namespace {

void showAbout(QMainWindow &window)
{
    auto *box = new QMessageBox(QMessageBox::Information, QObject::tr("About Vantor Control Panel"),
                                aboutText(), QMessageBox::Close, &window);
    box->setObjectName(QStringLiteral("About"));
    box->setTextFormat(Qt::PlainText);
    box->setIconPixmap(window.windowIcon().pixmap(32, 32));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

QString aboutText()
{
    return QObject::tr("Vantor Control Panel\nVersion %1\n\n"
                       "Reads, watches and configures the Vantor evaluation board over a "
                       "serial link.\n\nMIT licence.")
        .arg(QCoreApplication::applicationVersion());
}

PanelMenus addPanelMenus(QMainWindow &window)
{
    PanelMenus menus;
    menus.file = window.menuBar()->addMenu(QObject::tr("&File"));
    menus.file->setObjectName(QStringLiteral("FileMenu"));
    QAction *quit = menus.file->addAction(QObject::tr("&Quit"), &window, &QMainWindow::close);
    quit->setObjectName(QStringLiteral("Quit"));
    // The platform's quit keys, and Ctrl+Q where the platform names none.
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    const QKeySequence ctrlQ(Qt::CTRL | Qt::Key_Q);
    if (!quitKeys.contains(ctrlQ))
        quitKeys.prepend(ctrlQ);
    quit->setShortcuts(quitKeys);

    menus.help = window.menuBar()->addMenu(QObject::tr("&Help"));
    menus.help->setObjectName(QStringLiteral("HelpMenu"));
    QAction *legend = menus.help->addAction(QObject::tr("Status and LED &legend"), &window,
                                            [&window] { showLegend(&window); });
    legend->setObjectName(QStringLiteral("ShowLegend"));
    QAction *about
        = menus.help->addAction(QObject::tr("&About"), &window, [&window] { showAbout(window); });
    about->setObjectName(QStringLiteral("ShowAbout"));
    return menus;
}

} // namespace vantor::window

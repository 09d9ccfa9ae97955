// SPDX-License-Identifier: MIT
#include "views.h"

#include "eventlog.h"
#include "eventlogwindow.h"
#include "recorder.h"
#include "registermodel.h"
#include "registerwindow.h"
#include "settingsdialog.h"
#include "settingsfiles.h"
#include "trendstore.h"
#include "trendwindow.h"

#include <session/session.h>
#include <window/mainwindow.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

#include <vector>

namespace vantor::views {

namespace {

QMenu *menuNamed(QMenuBar *bar, const QString &name)
{
    for (QAction *action : bar->actions()) {
        if (action->menu() && action->menu()->objectName() == name)
            return action->menu();
    }
    return nullptr;
}

// The menu of that name, or a new one placed before "Help" (or last when there is none).
QMenu *ensureMenu(QMenuBar *bar, const QString &name, const QString &title, bool &created)
{
    created = false;
    if (QMenu *menu = menuNamed(bar, name))
        return menu;
    auto *menu = new QMenu(title, bar);
    menu->setObjectName(name);
    if (QMenu *help = menuNamed(bar, QStringLiteral("HelpMenu")))
        bar->insertMenu(help->menuAction(), menu);
    else
        bar->addMenu(menu);
    created = true;
    return menu;
}

QAction *addItem(QMenu *menu, const QString &name, const QString &text,
                 const QKeySequence &keys = {})
{
    QAction *action = menu->addAction(text);
    action->setObjectName(name);
    action->setShortcut(keys);
    return action;
}

} // namespace

Views::Views(window::MainWindow &window)
    : QObject(&window)
    , m_window(window)
    , m_recorder(new Recorder(this))
    , m_eventLog(new EventLog(EventLog::kCapacity, this))
    , m_trends(new TrendStore(TrendStore::kRawCapacity, TrendStore::kMinuteCapacity, this))
    , m_registers(new RegisterModel(this))
{
    setObjectName(QStringLiteral("Views"));
    session::Session &s = window.session();
    connect(&s, &session::Session::answerDecoded, m_recorder, &Recorder::record);
    connect(&s, &session::Session::answerDecoded, m_trends, &TrendStore::add);
    connect(&s, &session::Session::answerDecoded, m_registers, &RegisterModel::add);
    m_eventLog->follow(s);

    connect(m_recorder, &Recorder::failed, this,
            [this](const QString &message) { report(tr("Recording stopped: %1").arg(message)); });
    connect(m_recorder, &Recorder::recordingChanged, this, &Views::showStatus);
    connect(m_recorder, &Recorder::rowsWritten, this, &Views::showStatus);

    m_status = new QLabel(&window);
    m_status->setObjectName(QStringLiteral("ViewsStatus"));
    m_status->setTextFormat(Qt::PlainText);
    window.statusBar()->addPermanentWidget(m_status);
    connect(this, &Views::reported, this, [this](const QString &message) {
        m_message = message;
        showStatus();
    });
    addMenus();
    showStatus();
}

Views::~Views() = default;

void Views::addMenus()
{
    QMenuBar *bar = m_window.menuBar();
    bool fileCreated = false;
    bool viewCreated = false;
    QMenu *file = ensureMenu(bar, QStringLiteral("FileMenu"), tr("&File"), fileCreated);
    QMenu *view = ensureMenu(bar, QStringLiteral("ViewMenu"), tr("&View"), viewCreated);

    // Ctrl+S stays "Save to Device".
    connect(
        addItem(file, QStringLiteral("OpenSettings"), tr("&Open Settings..."), QKeySequence::Open),
        &QAction::triggered, this, [this] {
            const QString path
                = QFileDialog::getOpenFileName(&m_window, tr("Open Settings"), QString(),
                                               tr("Settings files (*.json);;All files (*)"));
            if (!path.isEmpty())
                openSettings(path);
        });
    connect(addItem(file, QStringLiteral("SaveSettingsAs"), tr("Save Settings &As..."),
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)),
            &QAction::triggered, this, [this] {
                const QString path
                    = QFileDialog::getSaveFileName(&m_window, tr("Save Settings As"), QString(),
                                                   tr("Settings files (*.json);;All files (*)"));
                if (!path.isEmpty())
                    saveSettings(path);
            });
    file->addSeparator();
    connect(addItem(file, QStringLiteral("StartRecording"), tr("Start &Recording...")),
            &QAction::triggered, this, [this] {
                // An existing file is appended to, so there is nothing to confirm.
                const QString path = QFileDialog::getSaveFileName(
                    &m_window, tr("Record to"), QString(), tr("CSV files (*.csv);;All files (*)"),
                    nullptr, QFileDialog::DontConfirmOverwrite);
                if (!path.isEmpty())
                    startRecording(path);
            });
    m_stopRecording = addItem(file, QStringLiteral("StopRecording"), tr("Sto&p Recording"));
    connect(m_stopRecording, &QAction::triggered, this, &Views::stopRecording);
    if (fileCreated) {
        file->addSeparator();
        connect(
            addItem(file, QStringLiteral("Quit"), tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q)),
            &QAction::triggered, &m_window, &QWidget::close);
    }

    connect(addItem(view, QStringLiteral("ShowEventLog"), tr("&Event Log")), &QAction::triggered,
            this, &Views::showEventLog);
    connect(addItem(view, QStringLiteral("ShowTrends"), tr("&Trends")), &QAction::triggered, this,
            &Views::showTrends);
    connect(addItem(view, QStringLiteral("ShowRegisters"), tr("&Registers")), &QAction::triggered,
            this, &Views::showRegisters);
    view->addSeparator();
    connect(addItem(view, QStringLiteral("AllSettings"), tr("&All Settings...")),
            &QAction::triggered, this, &Views::showAllSettings);
}

void Views::report(const QString &message)
{
    emit reported(message);
}

QString Views::statusText() const
{
    QString recording;
    if (m_recorder->isRecording())
        recording = tr("Recording %1: %2 rows")
                        .arg(QFileInfo(m_recorder->fileName()).fileName())
                        .arg(m_recorder->rows());
    if (m_message.isEmpty())
        return recording;
    return recording.isEmpty() ? m_message : m_message + QStringLiteral("  |  ") + recording;
}

void Views::showStatus()
{
    m_status->setText(statusText());
    m_status->setToolTip(m_recorder->isRecording() ? m_recorder->fileName() : QString());
    m_stopRecording->setEnabled(m_recorder->isRecording());
}

bool Views::startRecording(const QString &path)
{
    if (!m_recorder->start(path)) {
        report(tr("Recording not started: %1").arg(m_recorder->errorString()));
        return false;
    }
    // The status field shows the recording itself from now on.
    m_message.clear();
    showStatus();
    return true;
}

void Views::stopRecording()
{
    if (!m_recorder->isRecording())
        return;
    const QString path = m_recorder->fileName();
    const qint64 rows = m_recorder->rows();
    m_recorder->stop();
    report(tr("Recording stopped: %1 rows in %2").arg(rows).arg(path));
}

bool Views::saveSettings(const QString &path)
{
    const session::Session &s = m_window.session();
    std::vector<int> groups;
    for (int g = 0; g <= s.highestAllowedGroup(); ++g)
        groups.push_back(g);
    const FileOutcome outcome = views::saveSettings(m_window.session().store(), groups, path);
    report(outcome.message);
    return outcome.ok;
}

bool Views::openSettings(const QString &path)
{
    const FileOutcome outcome = views::openSettings(m_window.session().store(), path);
    report(outcome.message);
    return outcome.ok;
}

template<class W> W *Views::raise(QPointer<W> &window, W *(Views::*make)())
{
    if (!window) {
        window = (this->*make)();
        connect(window, &W::reported, this, &Views::report);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

EventLogWindow *Views::makeEventLog()
{
    return new EventLogWindow(*m_eventLog, &m_window);
}

TrendWindow *Views::makeTrends()
{
    return new TrendWindow(*m_trends, &m_window);
}

RegisterWindow *Views::makeRegisters()
{
    return new RegisterWindow(*m_registers, &m_window);
}

EventLogWindow *Views::showEventLog()
{
    return raise(m_eventLogWindow, &Views::makeEventLog);
}

TrendWindow *Views::showTrends()
{
    return raise(m_trendWindow, &Views::makeTrends);
}

RegisterWindow *Views::showRegisters()
{
    if (!m_registerWindow) {
        // The grid starts at the group the window shows.
        m_registers->setGroup(m_window.session().portGroup());
        m_registerWindow = makeRegisters();
    }
    m_registerWindow->show();
    m_registerWindow->raise();
    m_registerWindow->activateWindow();
    return m_registerWindow;
}

AllSettingsDialog *Views::showAllSettings()
{
    const session::Session &s = m_window.session();
    auto *dialog
        = new AllSettingsDialog(m_window.session().store(), s.highestAllowedGroup() + 1, &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this] {
        report(tr("Settings put into the window; \"Save to Device\" writes them to the board"));
    });
    dialog->open();
    return dialog;
}

Views *attachViews(window::MainWindow &window)
{
    return new Views(window);
}

} // namespace vantor::views

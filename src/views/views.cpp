// SPDX-License-Identifier: MIT
#include "views.h"

#include "eventlog.h"
#include "eventlogwindow.h"
#include "powerbudget.h"
#include "powerbudgetwindow.h"
#include "recorder.h"
#include "registermodel.h"
#include "registerwindow.h"
#include "savepath.h"
#include "settingsdialog.h"
#include "settingsfiles.h"
#include "trendstore.h"
#include "trendwindow.h"

#include <session/session.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QShortcut>
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
QMenu *ensureMenu(QMenuBar *bar, const QString &name, const QString &title)
{
    if (QMenu *menu = menuNamed(bar, name))
        return menu;
    auto *menu = new QMenu(title, bar);
    menu->setObjectName(name);
    if (QMenu *help = menuNamed(bar, QStringLiteral("HelpMenu")))
        bar->insertMenu(help->menuAction(), menu);
    else
        bar->addMenu(menu);
    return menu;
}

// Items go before the menu's "Quit", when it has one: quitting stays last.
QAction *quitOf(QMenu *menu)
{
    for (QAction *action : menu->actions()) {
        if (action->objectName() == u"Quit")
            return action;
    }
    return nullptr;
}

QAction *addItem(QMenu *menu, const QString &name, const QString &text,
                 const QKeySequence &keys = {})
{
    auto *action = new QAction(text, menu);
    action->setObjectName(name);
    action->setShortcut(keys);
    menu->insertAction(quitOf(menu), action);
    return action;
}

void addSeparator(QMenu *menu)
{
    menu->insertSeparator(quitOf(menu));
}

// Esc and Ctrl+W close a window of the views, as they close a dialog or a document's tab.
void closeOnKeys(QWidget &window)
{
    for (const QKeySequence &keys :
         { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) }) {
        auto *shortcut = new QShortcut(keys, &window);
        QObject::connect(shortcut, &QShortcut::activated, &window, &QWidget::close);
    }
}

} // namespace

Views::Views(session::Session &session, QMainWindow &host)
    : QObject(&host)
    , m_session(session)
    , m_window(host)
    , m_recorder(new Recorder(this))
    , m_eventLog(new EventLog(EventLog::kCapacity, this))
    , m_trends(new TrendStore(TrendStore::kRawCapacity, TrendStore::kMinuteCapacity, this))
    , m_registers(new RegisterModel(this))
    , m_budget(new BudgetAnswers(this))
{
    setObjectName(QStringLiteral("Views"));
    session::Session &s = session;
    connect(&s, &session::Session::answerDecoded, m_recorder, &Recorder::record);
    connect(&s, &session::Session::answerDecoded, m_trends, &TrendStore::add);
    connect(&s, &session::Session::answerDecoded, m_registers, &RegisterModel::add);
    connect(&s, &session::Session::answerDecoded, m_budget, &BudgetAnswers::add);
    m_eventLog->follow(s);

    connect(m_recorder, &Recorder::failed, this, [this](const QString &message) {
        report(tr("Recording stopped: %1").arg(message), false);
    });
    connect(m_recorder, &Recorder::recordingChanged, this, &Views::showStatus);
    connect(m_recorder, &Recorder::rowsWritten, this, &Views::showStatus);

    // A field of its own, shown while recording: the status line's messages come and go.
    m_recording = new QLabel(&host);
    m_recording->setObjectName(QStringLiteral("RecordingStatus"));
    m_recording->setHidden(true);
    host.statusBar()->addPermanentWidget(m_recording);
    addMenus();
    showStatus();
}

Views::~Views() = default;

void Views::addMenus()
{
    QMenuBar *bar = m_window.menuBar();
    QMenu *file = ensureMenu(bar, QStringLiteral("FileMenu"), tr("&File"));
    QMenu *view = ensureMenu(bar, QStringLiteral("ViewMenu"), tr("&View"));

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
                const QString path = askSavePath(&m_window, tr("Save Settings As"),
                                                 tr("Settings files (*.json);;All files (*)"),
                                                 QStringLiteral("json"));
                if (!path.isEmpty())
                    saveSettings(path);
            });
    addSeparator(file);
    connect(addItem(file, QStringLiteral("StartRecording"), tr("Start &Recording...")),
            &QAction::triggered, this, [this] {
                // An existing file is appended to, so there is nothing to confirm.
                const QString path = askSavePath(
                    &m_window, tr("Record to"), tr("CSV files (*.csv);;All files (*)"),
                    QStringLiteral("csv"), QFileDialog::DontConfirmOverwrite);
                if (!path.isEmpty())
                    startRecording(path);
            });
    file->findChild<QAction *>(QStringLiteral("StartRecording"))->setStatusTip(historyNote());
    m_stopRecording = addItem(file, QStringLiteral("StopRecording"), tr("Sto&p Recording"));
    connect(m_stopRecording, &QAction::triggered, this, &Views::stopRecording);
    if (quitOf(file))
        addSeparator(file);

    connect(addItem(view, QStringLiteral("ShowEventLog"), tr("&Event Log")), &QAction::triggered,
            this, &Views::showEventLog);
    connect(addItem(view, QStringLiteral("ShowTrends"), tr("&Trends")), &QAction::triggered, this,
            &Views::showTrends);
    connect(addItem(view, QStringLiteral("ShowRegisters"), tr("&Registers")), &QAction::triggered,
            this, &Views::showRegisters);
    connect(addItem(view, QStringLiteral("ShowPowerBudget"), tr("&Power Budget")),
            &QAction::triggered, this, &Views::showPowerBudget);
    view->addSeparator();
    connect(addItem(view, QStringLiteral("AllSettings"), tr("&All Settings...")),
            &QAction::triggered, this, &Views::showAllSettings);
}

void Views::report(const QString &message, bool ok)
{
    m_message = message;
    emit reported(message, ok);
}

QString Views::statusText() const
{
    const QString recording = m_recording->text();
    if (m_message.isEmpty())
        return recording;
    return recording.isEmpty() ? m_message : m_message + QStringLiteral("  |  ") + recording;
}

void Views::showStatus()
{
    const bool on = m_recorder->isRecording();
    m_recording->setText(on ? tr("Recording %1: %2 rows")
                                  .arg(QFileInfo(m_recorder->fileName()).fileName())
                                  .arg(m_recorder->rows())
                            : QString());
    m_recording->setToolTip(on ? m_recorder->fileName() + u'\n' + historyNote() : QString());
    m_recording->setHidden(!on);
    m_stopRecording->setEnabled(on);
}

bool Views::startRecording(const QString &path)
{
    if (!m_recorder->start(path)) {
        report(tr("Recording not started: %1").arg(m_recorder->errorString()), false);
        return false;
    }
    // The recording field says the rest.
    report(tr("Recording to %1").arg(path), true);
    return true;
}

void Views::stopRecording()
{
    if (!m_recorder->isRecording())
        return;
    const QString path = m_recorder->fileName();
    const qint64 rows = m_recorder->rows();
    m_recorder->stop();
    report(tr("Recording stopped: %1 rows in %2").arg(rows).arg(path), true);
}

bool Views::saveSettings(const QString &path)
{
    std::vector<int> groups;
    for (int g = 0; g <= m_session.highestAllowedGroup(); ++g)
        groups.push_back(g);
    const FileOutcome outcome = views::saveSettings(m_session.store(), groups, path);
    report(outcome.message, outcome.ok);
    return outcome.ok;
}

void Views::markAllEdited()
{
    for (int g = 0; g < protocol::kGroupCount; ++g)
        m_session.markEdited(g);
}

bool Views::openSettings(const QString &path)
{
    const FileOutcome outcome = views::openSettings(m_session.store(), path);
    // The file's settings are the operator's now: a write may send them.
    if (outcome.ok)
        markAllEdited();
    m_eventLog->note(EventKind::SettingsFile, outcome.ok ? tr("opened") : tr("not opened"),
                     outcome.message);
    report(outcome.message, outcome.ok);
    return outcome.ok;
}

template<class W> W *Views::raise(QPointer<W> &window, W *(Views::*make)())
{
    if (!window) {
        window = (this->*make)();
        closeOnKeys(*window);
        if constexpr (requires { &W::reported; })
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
    auto *window = new TrendWindow(*m_trends, &m_window);
    window->setDeviceSource([this] { return m_session.linkDevice(); });
    return window;
}

RegisterWindow *Views::makeRegisters()
{
    // The grid starts at the group the window shows.
    m_registers->setGroup(m_session.portGroup());
    return new RegisterWindow(*m_registers, &m_window);
}

PowerBudgetWindow *Views::makePowerBudget()
{
    return new PowerBudgetWindow(*m_budget, &m_window);
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
    return raise(m_registerWindow, &Views::makeRegisters);
}

PowerBudgetWindow *Views::showPowerBudget()
{
    return raise(m_powerBudgetWindow, &Views::makePowerBudget);
}

AllSettingsDialog *Views::showAllSettings()
{
    auto *dialog
        = new AllSettingsDialog(m_session.store(), m_session.highestAllowedGroup() + 1, &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    closeOnKeys(*dialog);
    connect(dialog, &QDialog::accepted, this, [this] {
        markAllEdited();
        report(tr("Settings put into the window; \"Save to Device\" writes them to the board"),
               true);
    });
    dialog->open();
    return dialog;
}

} // namespace vantor::views

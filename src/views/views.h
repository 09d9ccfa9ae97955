// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QLabel;
class QMainWindow;

namespace vantor::session {
class Session;
}

namespace vantor::views {

class AllSettingsDialog;
class BudgetAnswers;
class EventLog;
class EventLogWindow;
class PowerBudgetWindow;
class Recorder;
class RegisterModel;
class RegisterWindow;
class TrendStore;
class TrendWindow;

// Everything beside the designed window: the recorder and the histories it keeps from
// start-up (event log, trends, last snapshots, the latest answers behind the power budget),
// their windows, settings files and the "File" and "View" menus that reach them. They follow
// the session; the host window lends its menu bar and its status bar (a field that shows a
// recording), and whoever shows the operator outcomes takes them from reported().
class Views : public QObject
{
    Q_OBJECT
public:
    Views(session::Session &session, QMainWindow &host);
    ~Views() override;

    [[nodiscard]] Recorder &recorder() { return *m_recorder; }
    [[nodiscard]] EventLog &eventLog() { return *m_eventLog; }
    [[nodiscard]] TrendStore &trends() { return *m_trends; }
    [[nodiscard]] RegisterModel &registers() { return *m_registers; }

    bool startRecording(const QString &path);
    void stopRecording();
    bool saveSettings(const QString &path);
    bool openSettings(const QString &path);

    EventLogWindow *showEventLog();
    TrendWindow *showTrends();
    RegisterWindow *showRegisters();
    PowerBudgetWindow *showPowerBudget();
    // Opens the dialog over the window, for the groups the port count allows.
    AllSettingsDialog *showAllSettings();

    // What the views last said and, while recording, the recording.
    [[nodiscard]] QString statusText() const;

signals:
    // An outcome for the operator (a file saved or refused, a recording stopped), as the
    // status line shows it.
    void reported(const QString &message, bool ok);

private:
    void markAllEdited();
    void report(const QString &message, bool ok);
    void showStatus();
    void addMenus();
    template<class W> W *raise(QPointer<W> &window, W *(Views::*make)());
    EventLogWindow *makeEventLog();
    TrendWindow *makeTrends();
    RegisterWindow *makeRegisters();
    PowerBudgetWindow *makePowerBudget();

    session::Session &m_session;
    QMainWindow &m_window;
    Recorder *m_recorder = nullptr;
    EventLog *m_eventLog = nullptr;
    TrendStore *m_trends = nullptr;
    RegisterModel *m_registers = nullptr;
    BudgetAnswers *m_budget = nullptr;
    QPointer<EventLogWindow> m_eventLogWindow;
    QPointer<TrendWindow> m_trendWindow;
    QPointer<RegisterWindow> m_registerWindow;
    QPointer<PowerBudgetWindow> m_powerBudgetWindow;
    QLabel *m_recording = nullptr;
    QAction *m_stopRecording = nullptr;
    QString m_message;
};

} // namespace vantor::views

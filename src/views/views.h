// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

class QAction;

namespace vantor::window {
class ElidingLabel;
class MainWindow;
} // namespace vantor::window

namespace vantor::views {

class AllSettingsDialog;
class EventLog;
class EventLogWindow;
class Recorder;
class RegisterModel;
class RegisterWindow;
class TrendStore;
class TrendWindow;

// Everything beside the designed window: the recorder and the histories it keeps from
// start-up (event log, trends, last snapshots), their windows, settings files and the
// "File" and "View" menus that reach them. The window lends its menu bar and its status line,
// where the views tell their outcomes and show a recording.
class Views : public QObject
{
    Q_OBJECT
public:
    explicit Views(window::MainWindow &window);
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
    // Opens the dialog over the window, for the groups the port count allows.
    AllSettingsDialog *showAllSettings();

    // What the views last said and, while recording, the recording.
    [[nodiscard]] QString statusText() const;

signals:
    // An outcome for the operator (a file saved or refused, a recording stopped), as the
    // status line shows it.
    void reported(const QString &message, bool ok);

private:
    void report(const QString &message, bool ok);
    void showStatus();
    void addMenus();
    template<class W> W *raise(QPointer<W> &window, W *(Views::*make)());
    EventLogWindow *makeEventLog();
    TrendWindow *makeTrends();
    RegisterWindow *makeRegisters();

    window::MainWindow &m_window;
    Recorder *m_recorder = nullptr;
    EventLog *m_eventLog = nullptr;
    TrendStore *m_trends = nullptr;
    RegisterModel *m_registers = nullptr;
    QPointer<EventLogWindow> m_eventLogWindow;
    QPointer<TrendWindow> m_trendWindow;
    QPointer<RegisterWindow> m_registerWindow;
    window::ElidingLabel *m_recording = nullptr;
    QAction *m_stopRecording = nullptr;
    QString m_message;
};

// Adds the views to a window: its "File" and "View" menus (after "Serial Link Setup", before
// any "Help"), a status-bar field, and the histories, which start at once.
Views *attachViews(window::MainWindow &window);

} // namespace vantor::views

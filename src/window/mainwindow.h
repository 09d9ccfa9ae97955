// SPDX-License-Identifier: MIT
#pragma once

#include "controls.h"
#include "panelmenus.h"

#include <serial/portmap.h>
#include <session/session.h>

#include <QMainWindow>

#include <memory>

namespace vantor::protocol {
class Timer;
}

namespace vantor::serial {
class PortInfoSource;
class SerialLink;
} // namespace vantor::serial

namespace vantor::session {
class Reconnector;
class ReopenPolicy;
} // namespace vantor::session

namespace vantor::window {

class PortPicker;
class SessionReports;
class StaleDisplay;
class StatusLine;
class WindowStore;

// The panel's one window. Its controls hold every setting of the board, as the session's
// settings store; the session decodes answers into them and builds the write blocks from them,
// and the window shows each answer's readings.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The window's controls become the session's settings store.
    explicit MainWindow(session::Session &session, QWidget *parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] MainControls &controls() { return m_controls; }
    [[nodiscard]] session::Session &session() { return *m_session; }

    // Start-up: selects the first tab, then the session's start-up (COM1, the start-up choices,
    // auto-refresh on, the window's configuration sent). Called once, before it is shown.
    void formLoad(session::StartMode mode = session::StartMode::WriteDefaults);

    // The resize rule for a window height in twips: above 1000 the scroll bar is 1000 shorter.
    void applyWindowHeight(int heightTwips);
    [[nodiscard]] int scrollBarHeightTwips() const { return m_scrollBarHeightTwips; }
    [[nodiscard]] int masterFrameTopTwips() const { return m_masterFrameTopTwips; }
    // How far the tab headers push the port strip and its row captions down, in pixels.
    [[nodiscard]] int tabHeaderHeight() const { return m_tabHeaderHeight; }
    // The File and Help menus, for the items and menus that come after "Serial Link Setup".
    [[nodiscard]] QMenu *fileMenu() const { return m_menus.file; }
    [[nodiscard]] QMenu *helpMenu() const { return m_menus.help; }
    // The last thing worth telling the operator, as the status bar shows it.
    [[nodiscard]] QString outcomeText() const;
    [[nodiscard]] QString portStateText() const;

    // Where every view tells the operator something.
    [[nodiscard]] StatusLine &statusLine() { return *m_status; }
    [[nodiscard]] StaleDisplay &staleDisplay();
    [[nodiscard]] PortPicker &portPicker() { return *m_portPicker; }
    [[nodiscard]] session::Reconnector &reconnector() { return *m_reconnector; }
    // The serial ports the menu lists and the reconnection checks adapters against.
    void setPortInfoSource(std::shared_ptr<const serial::PortInfoSource> source);

public slots:
    // An outcome told by a window beside this one (a file saved, a recording stopped).
    void showOutcome(const QString &message, bool ok);

    void Comm1_Click();
    void Comm2_Click();
    void Comm3_Click();
    void COM_Reset_Cmd_Click();
    void Update_All_Click();
    void TX_SYS_CTRL_Click();
    void TX_PRT_CTRL_Click();
    void Update_Port_Status_Click();
    void Interval_Update_Click();
    void Reset_GUI_Click();
    void Port_Control_Click(int previousTab);
    void Form_Resize();
    void VScroll1_Change();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildMenu();
    void buildContent();
    void buildPortColumns();
    void placeTabStrip();
    void buildStatusBar();
    void connectHandlers();
    void connectReports();
    void choosePort(int commPortNumber);
    void showAutoRefresh(bool on);
    void onTabChanged(int index);
    [[nodiscard]] QSize startupClientSize() const;

    MainControls m_controls;
    PanelMenus m_menus;
    std::unique_ptr<WindowStore> m_store;
    session::Session *m_session = nullptr;

    StatusLine *m_status = nullptr;
    SessionReports *m_reports = nullptr;
    PortPicker *m_portPicker = nullptr;
    session::Reconnector *m_reconnector = nullptr;
    session::ReopenPolicy *m_reopenPolicy = nullptr;

    int m_tabHeaderHeight = 0;
    int m_shownTab = 0;
    int m_scrollBarHeightTwips = 0;
    int m_masterFrameTopTwips = 0;
};

} // namespace vantor::window

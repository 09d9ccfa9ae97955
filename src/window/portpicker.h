// SPDX-License-Identifier: MIT
#pragma once

#include <serial/portinfo.h>

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace vantor::session {
class Session;
}

namespace vantor::window {

// "Set Port" as the bench needs it: "COMM 1".."COMM 3" as designed, each with its device in
// its tooltip and status tip and the open one checked, then the serial ports present now,
// listed afresh each time the menu opens. Choosing a listed port makes it COM1's device and
// opens it as "COMM 1" does; it is remembered for the next start. Last, "Network Board..." asks
// for a board behind a network server (tcp:// or rfc2217://), which is then chosen, opened
// and remembered the same way.
class PortPicker : public QObject
{
    Q_OBJECT
public:
    PortPicker(QMenu *setPort, const std::array<QAction *, 3> &commActions,
               session::Session &session, std::shared_ptr<const serial::PortInfoSource> source,
               QObject *parent = nullptr);

    void setSource(std::shared_ptr<const serial::PortInfoSource> source);
    [[nodiscard]] std::shared_ptr<const serial::PortInfoSource> source() const { return m_source; }

    // What the menu does as it opens: the COMM items' tips and checks, the list of ports.
    void refresh();
    // The listed ports' items, in the menu's order (a single disabled item when none is there).
    [[nodiscard]] QList<QAction *> portActions() const { return m_portActions; }

    // "Network Board...": asks for the board's name (empty when cancelled), starting from
    // the current one; a dialog unless replaced (tests answer it themselves).
    using NetworkBoardAsker = std::function<QString(const QString &current)>;
    void setNetworkBoardAsker(NetworkBoardAsker asker) { m_askNetworkBoard = std::move(asker); }
    [[nodiscard]] QAction *networkBoardAction() const { return m_networkBoard; }

    // The caption of a listed port: where it is and what it is.
    [[nodiscard]] static QString caption(const serial::PortInfo &port);

signals:
    // A listed port was chosen; the session has tried to open it as COM1.
    void portChosen(const QString &device);
    // Something the operator should hear of (the choice could not be remembered).
    void problem(const QString &message);

private:
    void choose(const QString &device);
    void chooseNetworkBoard();

    QMenu *m_menu = nullptr;
    std::array<QAction *, 3> m_comm {};
    session::Session &m_session;
    std::shared_ptr<const serial::PortInfoSource> m_source;
    QAction *m_separator = nullptr;
    QList<QAction *> m_portActions;
    QAction *m_networkSeparator = nullptr;
    QAction *m_networkBoard = nullptr;
    NetworkBoardAsker m_askNetworkBoard;
};

// The device last chosen from the list of ports, kept between runs; empty when none was.
[[nodiscard]] QString rememberedPort();
// Empty when it was kept, else why not.
[[nodiscard]] QString rememberPort(const QString &device);
// The network board last chosen, kept apart so that the dialog offers it again.
[[nodiscard]] QString rememberedNetworkBoard();

} // namespace vantor::window

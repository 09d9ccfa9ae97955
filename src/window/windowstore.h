// SPDX-License-Identifier: MIT
#pragma once

#include <codec/settingsstore.h>

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace vantor::window {

struct MainControls;

// The window's controls as the session's settings store: check boxes give their value, lists
// their selected index ("Ports in System" its item's number), entries their text read as a
// whole number. Blocks are built from the controls as they stand at launch.
class WindowStore final : public codec::SettingsStore
{
public:
    using Report = std::function<void(const QString &message)>;

    // report: where to tell the operator that the list cannot show a port count the board gave.
    WindowStore(MainControls &controls, Report report);

    [[nodiscard]] codec::StoredValue value(codec::Setting setting, int element = 0) const override;
    void setValue(codec::Setting setting, int element, int value) override;
    [[nodiscard]] bool isEnabled(codec::Setting setting, int element) const override;
    void setEnabled(codec::Setting setting, int element, bool enabled) override;

    // The control that holds a setting, or none for an element the window does not have.
    [[nodiscard]] QWidget *control(codec::Setting setting, int element) const;

private:
    MainControls &m_controls;
    Report m_report;
    // A count the board reported that the list does not offer: the list keeps its item, and
    // no write may send that stale item, until a listed count is read or chosen.
    std::optional<int> m_unlistedCount;
};

} // namespace vantor::window

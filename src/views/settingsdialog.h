// SPDX-License-Identifier: MIT
#pragma once

#include <codec/settingtable.h>

#include <QDialog>

#include <vector>

class QLabel;
class QTabWidget;

namespace vantor::codec {
class SettingsStore;
}

namespace vantor::views {

// Every writable setting of the system and of each port of the allowed groups, including the
// ones the window keeps hidden or greys out, generated from the setting table: the design's
// captions, each number's range, paused-fault marks that can only be cleared. OK writes the changes
// into the window's controls; nothing is sent to the board until "Save to Device".
class AllSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    AllSettingsDialog(codec::SettingsStore &store, int groupCount, QWidget *parent = nullptr);

    // Checks every field and writes the changed ones into the store. When a field is refused,
    // nothing is written, the reason is shown and the field takes the focus.
    bool apply();
    [[nodiscard]] QString refusal() const;
    [[nodiscard]] QWidget *editor(codec::Setting setting, int element = 0) const;

    void accept() override;

private:
    struct Editor
    {
        const codec::SettingRow *row = nullptr;
        int element = 0;
        QWidget *widget = nullptr;
        int original = 0;
        bool known = false; // the store could give the original value
        int page = 0;
    };

    QWidget *makeEditor(const codec::SettingRow &row, int element, QWidget *parent, int page);
    [[nodiscard]] std::optional<int> read(const Editor &editor, QString &error) const;

    codec::SettingsStore &m_store;
    std::vector<Editor> m_editors;
    QTabWidget *m_pages = nullptr;
    QLabel *m_refusal = nullptr;
};

} // namespace vantor::views

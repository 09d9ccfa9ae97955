// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QTableView;

namespace vantor::views {

class RegisterModel;

// The register grid of one port group: the last answer's 168 bytes in hex, what each holds on
// hover, the bytes it changed marked; copied as hex text.
class RegisterWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RegisterWindow(RegisterModel &model, QWidget *parent = nullptr);

    [[nodiscard]] QTableView &table() { return *m_table; }
    // The selected bytes, or the whole snapshot when none is selected, onto the clipboard.
    void copyHex();

private:
    void showSource();

    RegisterModel &m_model;
    QComboBox *m_group = nullptr;
    QLabel *m_source = nullptr;
    QTableView *m_table = nullptr;
};

} // namespace vantor::views

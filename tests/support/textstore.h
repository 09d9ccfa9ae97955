// SPDX-License-Identifier: MIT
#pragma once

// Settings held the way the window's controls hold them: entries as texts, lists by index
// (-1: nothing chosen), boxes by value. Starts "quiet": boxes clear, first list items, port
// count "8", entries "0" but the discovery limits "19000" and "26500".

#include <codec/settingsstore.h>

#include <map>

namespace vantor::testing {

class TextStore final : public codec::SettingsStore
{
public:
    // Entries hold texts; the priority list, like the other lists, an index.
    static bool isText(codec::Setting s)
    {
        return codec::settingRow(s).kind == codec::Kind::Number
            && s != codec::Setting::PORT_SYS_MGMNT_3;
    }

    TextStore()
    {
        for (const codec::SettingRow &row : codec::kSettings) {
            const int elements = row.scope == codec::Scope::Port ? codec::kElementCount : 1;
            for (int e = 0; e < elements; ++e) {
                if (isText(row.setting))
                    m_texts[{ row.setting, e }] = QStringLiteral("0");
                else
                    m_numbers[{ row.setting, e }] = 0;
                m_enabled[{ row.setting, e }] = row.designEnabled;
            }
        }
        text(codec::Setting::SYS_PORT_CNT) = QStringLiteral("8");
        text(codec::Setting::PD_R_LOW) = QStringLiteral("19000");
        text(codec::Setting::PD_R_HIGH) = QStringLiteral("26500");
    }

    QString &text(codec::Setting s, int element = 0) { return m_texts[{ s, element }]; }
    int &number(codec::Setting s, int element = 0) { return m_numbers[{ s, element }]; }

    codec::StoredValue value(codec::Setting s, int element = 0) const override
    {
        if (!isText(s)) {
            const int v = m_numbers.at({ s, element });
            return { v, v < 0 ? codec::TextProblem::NothingSelected : codec::TextProblem::None };
        }
        const QString &t = m_texts.at({ s, element });
        if (s == codec::Setting::SYS_PORT_CNT && t.isEmpty())
            return { 0, codec::TextProblem::NothingSelected };
        const codec::IntegerReading r = codec::readInteger(t, codec::textRange(s));
        return { r.value, r.problem };
    }
    void setValue(codec::Setting s, int element, int value) override
    {
        if (isText(s))
            m_texts[{ s, element }] = QString::number(value);
        else
            m_numbers[{ s, element }] = value;
    }
    bool isEnabled(codec::Setting s, int element) const override
    {
        return m_enabled.at({ s, element });
    }
    void setEnabled(codec::Setting s, int element, bool enabled) override
    {
        m_enabled[{ s, element }] = enabled;
    }

private:
    using Key = std::pair<codec::Setting, int>;
    std::map<Key, QString> m_texts;
    std::map<Key, int> m_numbers;
    std::map<Key, bool> m_enabled;
};

} // namespace vantor::testing

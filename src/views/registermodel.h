// SPDX-License-Identifier: MIT
#pragma once

#include <codec/snapshot.h>

#include <QAbstractTableModel>
#include <QByteArray>

#include <array>
#include <optional>

namespace vantor::session {
struct DecodedAnswer;
}

namespace vantor::views {

// The last snapshot of each port group as a grid of 16 bytes a row. Each byte tells, on hover,
// the fields it holds and their values, from the one field table; the bytes that the last
// answer for the group changed are marked.
class RegisterModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kBytes = static_cast<int>(protocol::kSnapshotSize);
    static constexpr int kColumns = 16;
    static constexpr int kRows = (kBytes + kColumns - 1) / kColumns;
    // Role: whether the byte changed with the last answer.
    static constexpr int kChangedRole = Qt::UserRole;

    explicit RegisterModel(QObject *parent = nullptr);

    void add(const session::DecodedAnswer &answer);
    void setGroup(int group);
    [[nodiscard]] int group() const { return m_group; }

    struct Kept
    {
        QByteArray bytes; // the snapshot: exactly 168 bytes
        QByteArray previous;
        std::uint8_t code = 0;
        qint64 utcMs = 0;
    };
    [[nodiscard]] const std::optional<Kept> &kept(int group) const;

    // The shown snapshot as hex, 16 bytes a line; or only the given offsets.
    [[nodiscard]] QString hexText(const QList<int> &offsets = {}) const;
    // What the offset holds in a snapshot: each field's name, port and value.
    [[nodiscard]] static QString describe(const QByteArray &snapshot, int offset, int group);
    [[nodiscard]] static int offsetOf(const QModelIndex &index);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

signals:
    void shownChanged();

private:
    std::array<std::optional<Kept>, protocol::kGroupCount> m_kept {};
    int m_group = 0;
};

} // namespace vantor::views

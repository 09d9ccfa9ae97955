// SPDX-License-Identifier: MIT
#include "registermodel.h"

#include <codec/settingtable.h>
#include <codec/statustext.h>
#include <codec/tabletext.h>
#include <session/decodedanswer.h>

#include <QColor>

#include <bit>

namespace vantor::views {

namespace {

using codec::Field;
using codec::FieldRow;

// The caption a field's value stands for, where a table gives one.
QString valueText(Field field, unsigned value)
{
    const int v = static_cast<int>(value);
    switch (field) {
    case Field::PORT_FLT_MODE_1: {
        const codec::StatusText t = codec::faultText(v);
        return QString(t.caption) + QStringLiteral(": ") + QString(t.hover);
    }
    case Field::PORT_FLT_MODE_2: {
        const codec::StatusText t = codec::modeText(v);
        return QString(t.caption) + QStringLiteral(": ") + QString(t.hover);
    }
    case Field::PORT_CLASS_2:
        return QString(codec::classCaption(v));
    default:
        break;
    }
    for (const codec::SettingRow &row : codec::kSettings) {
        if (row.field != field)
            continue;
        if (row.kind == codec::Kind::Choice && value < row.choices.size())
            return QString::fromLatin1(row.choices[value].data(),
                                       static_cast<qsizetype>(row.choices[value].size()));
        if (row.readScale != 1)
            return QStringLiteral("%1 as shown").arg(v * row.readScale);
    }
    return {};
}

QString bitsText(std::uint8_t mask)
{
    const int high = 7 - std::countl_zero(mask);
    const int low = std::countr_zero(mask);
    return high == low ? QStringLiteral("bit %1").arg(low)
                       : QStringLiteral("bits %1..%2").arg(high).arg(low);
}

// Where in a field's bytes the offset lies.
std::optional<QString> partAt(const FieldRow &row, const codec::FieldPlace &place, int offset)
{
    const auto first = static_cast<int>(place.offset);
    switch (row.width) {
    case codec::Width::Bits:
        if (offset == first)
            return bitsText(place.mask);
        return std::nullopt;
    case codec::Width::U16le:
    case codec::Width::U11:
        if (offset == first)
            return QStringLiteral("low byte of %1..%2").arg(first).arg(first + 1);
        if (offset == first + 1)
            return QStringLiteral("high %1 of %2..%3")
                .arg(row.width == codec::Width::U11 ? QStringLiteral("bits 2..0")
                                                    : QStringLiteral("byte"))
                .arg(first)
                .arg(first + 1);
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

RegisterModel::RegisterModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void RegisterModel::add(const session::DecodedAnswer &answer)
{
    if (answer.group < 0 || answer.group >= protocol::kGroupCount || answer.raw.size() < kBytes)
        return;
    std::optional<Kept> &kept = m_kept[static_cast<std::size_t>(answer.group)];
    Kept next { answer.raw.left(kBytes), kept ? kept->bytes : QByteArray(), answer.code,
                answer.receivedUtcMs };
    // Only the rows whose bytes or marks change are repainted.
    int first = kRows;
    int last = -1;
    for (int offset = 0; offset < kBytes; ++offset) {
        const auto marked = [offset](const Kept &k) {
            return !k.previous.isEmpty() && k.previous.at(offset) != k.bytes.at(offset);
        };
        if (kept && kept->bytes.at(offset) == next.bytes.at(offset)
            && marked(*kept) == marked(next))
            continue;
        first = std::min(first, offset / kColumns);
        last = std::max(last, offset / kColumns);
    }
    kept = std::move(next);
    if (answer.group != m_group)
        return;
    if (last >= first)
        emit dataChanged(index(first, 0), index(last, kColumns - 1));
    emit shownChanged();
}

void RegisterModel::setGroup(int group)
{
    if (group == m_group || group < 0 || group >= protocol::kGroupCount)
        return;
    beginResetModel();
    m_group = group;
    endResetModel();
    emit shownChanged();
}

const std::optional<RegisterModel::Kept> &RegisterModel::kept(int group) const
{
    return m_kept[static_cast<std::size_t>(group)];
}

int RegisterModel::offsetOf(const QModelIndex &index)
{
    return index.row() * kColumns + index.column();
}

QString RegisterModel::describe(const QByteArray &snapshot, int offset, int group)
{
    const auto byte = static_cast<std::uint8_t>(snapshot.at(offset));
    QStringList lines { QStringLiteral("Offset %1 (0x%2) = 0x%3")
                            .arg(offset)
                            .arg(offset, 2, 16, QLatin1Char('0'))
                            .arg(byte, 2, 16, QLatin1Char('0')) };
    const auto *data = reinterpret_cast<const std::uint8_t *>(snapshot.constData());
    const codec::Snapshot block(data, protocol::kSnapshotSize);
    for (const FieldRow &row : codec::kFields) {
        for (int p = 0; p < row.ports; ++p) {
            const std::optional<QString> part = partAt(row, codec::fieldPlace(row, p), offset);
            if (!part)
                continue;
            const unsigned value = codec::fieldValue(block, row.field, p);
            QString line = codec::tableText(row.name);
            if (row.ports > 1)
                line += QStringLiteral(", port %1").arg(group * codec::kPortsPerGroup + p + 1);
            line += QStringLiteral(" (%1): %2").arg(*part).arg(value);
            const QString text = valueText(row.field, value);
            if (!text.isEmpty())
                line += QStringLiteral(" = ") + text;
            lines << line;
        }
    }
    if (lines.size() == 1)
        lines << QStringLiteral("Not used");
    return lines.join(QLatin1Char('\n'));
}

QString RegisterModel::hexText(const QList<int> &offsets) const
{
    const std::optional<Kept> &k = kept(m_group);
    if (!k)
        return {};
    if (!offsets.isEmpty()) {
        QStringList bytes;
        for (int o : offsets)
            bytes << QStringLiteral("%1").arg(static_cast<std::uint8_t>(k->bytes.at(o)), 2, 16,
                                              QLatin1Char('0'));
        return bytes.join(QLatin1Char(' ')) + QLatin1Char('\n');
    }
    QString out;
    for (qsizetype at = 0; at < k->bytes.size(); at += kColumns)
        out += QString::fromLatin1(k->bytes.mid(at, kColumns).toHex(' ')) + QLatin1Char('\n');
    return out;
}

int RegisterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kRows;
}

int RegisterModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant RegisterModel::data(const QModelIndex &index, int role) const
{
    const int offset = offsetOf(index);
    const std::optional<Kept> &k = kept(m_group);
    if (!index.isValid() || offset >= kBytes || !k)
        return {};
    const bool changed = !k->previous.isEmpty() && k->previous.at(offset) != k->bytes.at(offset);
    switch (role) {
    case Qt::DisplayRole:
        return QStringLiteral("%1")
            .arg(static_cast<std::uint8_t>(k->bytes.at(offset)), 2, 16, QLatin1Char('0'))
            .toUpper();
    case Qt::ToolTipRole:
        return describe(k->bytes, offset, m_group);
    case Qt::TextAlignmentRole:
        return Qt::AlignCenter;
    case Qt::BackgroundRole:
        return changed ? QVariant(QColor(255, 214, 102)) : QVariant();
    case kChangedRole:
        return changed;
    default:
        return {};
    }
}

QVariant RegisterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return QStringLiteral("+%1").arg(section);
    return QString::number(section * kColumns);
}

} // namespace vantor::views

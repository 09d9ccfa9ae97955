// SPDX-License-Identifier: MIT
#pragma once

// The panel's side of the line read back out of the simulated board's wire log.

#include <sim/simulatedboard.h>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStringList>

namespace vantor::e2e {

inline constexpr quint8 kWholeRead = 0x08;
inline constexpr quint8 kSystemWrite = 0x18;
inline constexpr quint8 kPortWrite = 0x20;
inline constexpr quint8 kPortRefresh = 0x28;
inline constexpr quint8 kGroupBits = 0x07;
inline constexpr qsizetype kSystemBlockSize = 14;
inline constexpr qsizetype kPortBlockSize = 217;

// One command of the panel, with the block that followed it for a write.
struct Frame
{
    quint8 code = 0;
    QByteArray block;
    qint64 timeUs = 0; // when the command byte reached the board
};

// Splits the panel's bytes into commands: 14 block bytes follow 0x18 and 217 follow
// 0x20..0x27. Only holds for a line on which every write was acknowledged and sent whole.
inline QList<Frame> framesFromPanel(const QList<sim::WireEntry> &log)
{
    QList<Frame> frames;
    qsizetype blockLeft = 0;
    for (const sim::WireEntry &entry : log) {
        if (entry.direction != sim::Direction::FromPanel)
            continue;
        for (const char c : entry.bytes) {
            if (blockLeft > 0) {
                frames.last().block.append(c);
                --blockLeft;
                continue;
            }
            const auto code = static_cast<quint8>(c);
            frames.append({ code, {}, entry.timeUs });
            if (code == kSystemWrite)
                blockLeft = kSystemBlockSize;
            else if ((code & ~kGroupBits) == kPortWrite)
                blockLeft = kPortBlockSize;
        }
    }
    return frames;
}

inline QList<Frame> framesWithCode(const QList<Frame> &frames, quint8 code)
{
    QList<Frame> found;
    for (const Frame &f : frames) {
        if (f.code == code)
            found.append(f);
    }
    return found;
}

// The lock files that QSerialPort leaves behind when a process holding `device` dies without
// closing it (it names them after the device path, in the first writable lock directory).
inline QStringList serialLockFiles(const QString &device)
{
    QString name = device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.prepend(QStringLiteral("LCK.."));
    QStringList found;
    for (const char *dir : { "/var/lock", "/run/lock", "/tmp" }) {
        const QString path = QDir(QString::fromLatin1(dir)).filePath(name);
        if (QFileInfo::exists(path) && !found.contains(QFileInfo(path).canonicalFilePath()))
            found.append(QFileInfo(path).canonicalFilePath());
    }
    return found;
}

} // namespace vantor::e2e

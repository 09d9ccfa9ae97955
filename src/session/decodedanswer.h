// SPDX-License-Identifier: MIT
#pragma once

#include <codec/configuration.h>

#include <QByteArray>
#include <QMetaType>

namespace vantor::session {

// One answer of the board to a read, as everything that shows or keeps answers receives it.
struct DecodedAnswer
{
    std::uint8_t code = 0; // the command it answers: 8..15 (whole read) or 40..47 (refresh)
    int group = 0;         // the port group, from the command code (code AND 7)
    qint64 receivedUtcMs = 0;
    QByteArray raw; // every byte received, at least a whole snapshot
    codec::DecodedSnapshot snapshot;
    // Why the answer cannot be trusted (more bytes than an answer has, or a value the board
    // never reports); empty for a good one. Decoded and shown all the same.
    QString problem;

    [[nodiscard]] bool isWholeRead() const
    {
        return protocol::kindOfCode(code) == protocol::RequestKind::WholeRead;
    }
};

} // namespace vantor::session

Q_DECLARE_METATYPE(vantor::session::DecodedAnswer)

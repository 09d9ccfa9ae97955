// SPDX-License-Identifier: MIT
#pragma once

// The simulated board on a pseudo-terminal in a scratch directory, for the real-time tests of
// the link and of the whole panel.

#include "bytes.h"

#include <sim/simulatedboard.h>

#include <QTemporaryDir>

namespace vantor::testing {

struct BoardOnPty
{
    // The board behind the link `name` in the scratch directory. Unpaced, an answer leaves in
    // one go instead of at the line's 19200 bit/s.
    bool start(bool paced, const QString &name = QStringLiteral("board"))
    {
        board.setPaced(paced);
        return dir.isValid() && board.start(dir.filePath(name));
    }
    QByteArray snapshot(int group) const { return toByteArray(board.model().snapshot(group)); }

    QTemporaryDir dir;
    sim::SimulatedBoard board;
};

} // namespace vantor::testing

// SPDX-License-Identifier: MIT
#pragma once

// The bits a configuration read back from the board and saved unchanged carries back:
// system block bytes 0..12 against snapshot bytes 0..12, port block bytes 0..33 against
// snapshot bytes 19..52. Left out are the bits the snapshot never reads, the I2C address bits
// above bit 4 (the system block keeps five), and bit 2 of byte 4 ("Calibrate System", which
// the board never reports).

#include <QByteArray>

namespace vantor::testing {

inline QByteArray systemRoundTripMask()
{
    return QByteArray::fromHex("ff381fff f3 ffffffff 0f ff07 ff");
}

inline QByteArray portRoundTripMask()
{
    return QByteArray::fromHex("fefefefefefefefe 6767676767676767"
                               "ffffffffffffffff ffffffffffffffff ffff");
}

} // namespace vantor::testing

// SPDX-License-Identifier: MIT
#pragma once

#include <QMetaType>

namespace vantor::serial {

// Event kinds a serial port reports, numbered as the classic serial-control event codes.
enum class CommEvent : int {
    SendThreshold = 1,
    ReceiveThreshold = 2,
    CtsChange = 3,
    DsrChange = 4,
    CarrierChange = 5,
    Ring = 6,
    EndOfFile = 7,
    Break = 1001,
    FramingError = 1004,
    HardwareOverrun = 1006,
    ReceiveOverflow = 1008,
    ParityError = 1009,
    TransmitFull = 1010,
    ConfigurationError = 1011,
};

} // namespace vantor::serial

Q_DECLARE_METATYPE(vantor::serial::CommEvent)

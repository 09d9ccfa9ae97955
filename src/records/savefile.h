// SPDX-License-Identifier: MIT
#pragma once

// Files replaced whole: what is written goes to a temporary file beside the target, which takes
// the target's place only once everything was written. A failure leaves the target as it was.

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace vantor::records {

// write fills the device and says whether it could; false, with error "PATH: reason", when
// the file could not be written.
bool saveWhole(const QString &path, const std::function<bool(QIODevice &)> &write, QString &error);
bool saveWhole(const QString &path, const QByteArray &bytes, QString &error);

} // namespace vantor::records

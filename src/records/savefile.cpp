// SPDX-License-Identifier: MIT
#include "savefile.h"

#include <QSaveFile>

namespace vantor::records {

bool saveWhole(const QString &path, const std::function<bool(QIODevice &)> &write, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit()) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool saveWhole(const QString &path, const QByteArray &bytes, QString &error)
{
    return saveWhole(
        path, [&bytes](QIODevice &device) { return device.write(bytes) == bytes.size(); }, error);
}

} // namespace vantor::records

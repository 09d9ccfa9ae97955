// SPDX-License-Identifier: MIT
#include "savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::records {

namespace {

OutputTarget unusable(const QString &path, const QString &reason)
{
    return { TargetKind::Unusable, QStringLiteral("%1: %2").arg(path, reason) };
}

// Writes straight into an open device; errno is the write's own when it fails.
bool writeStraight(QFile &file, const QString &path, const std::function<bool(QIODevice &)> &write,
                   QString &error)
{
    errno = 0;
    if (write(file) && file.flush())
        return true;
    const int e = errno;
    error = QStringLiteral("%1: %2").arg(path, e != 0 ? systemError(e) : file.errorString());
    return false;
}

} // namespace

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

OutputTarget outputTarget(const QString &path)
{
    if (path == u"-")
        return { TargetKind::Stream, {} };
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        if (S_ISREG(st.st_mode))
            return { TargetKind::Regular, {} };
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
            return { TargetKind::Stream, {} };
        if (S_ISDIR(st.st_mode))
            return unusable(path, systemError(EISDIR));
        return unusable(path, QStringLiteral("not a file, a character device or a FIFO"));
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return unusable(path, QStringLiteral("no such folder"));
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return unusable(path, QStringLiteral("folder not writable: %1").arg(systemError(errno)));
    return { TargetKind::New, {} };
}

bool saveWhole(const QString &path, const std::function<bool(QIODevice &)> &write, QString &error)
{
    const OutputTarget target = outputTarget(path);
    switch (target.kind) {
    case TargetKind::Unusable:
        error = target.error;
        return false;
    case TargetKind::Stream: {
        const bool standardOutput = path == u"-";
        QFile file(standardOutput ? QString() : path);
        constexpr auto kMode = QIODevice::WriteOnly | QIODevice::Unbuffered;
        if (!(standardOutput ? file.open(STDOUT_FILENO, kMode) : file.open(kMode))) {
            error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return false;
        }
        return writeStraight(file, path, write, error);
    }
    case TargetKind::New:
    case TargetKind::Regular:
        break;
    }
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

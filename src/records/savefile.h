// SPDX-License-Identifier: MIT
#pragma once

// Where output files go. The final target (symbolic links followed, as a shell redirection
// would) decides how: a regular file or a new path is replaced whole (what is written goes to
// a temporary file beside it, which takes its place only once everything was written); a
// character device or a FIFO (/dev/stdout, /dev/null, a pipe) is written straight; "-" is
// standard output; a directory or any other kind is refused.

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace vantor::records {

enum class TargetKind {
    New,      // nothing there yet
    Regular,  // replaced whole, or appended to
    Stream,   // a character device, a FIFO or standard output: written straight
    Unusable, // a directory, a socket, a block device, or a folder that is missing
};

struct OutputTarget
{
    TargetKind kind = TargetKind::New;
    QString error; // for Unusable: "PATH: reason"
};

// What path names, and whether a new file can be made there (its folder exists and is
// writable), before anything is written.
[[nodiscard]] OutputTarget outputTarget(const QString &path);

// The system's words for errno.
[[nodiscard]] QString systemError(int error);

// write fills the device and says whether it could; false, with error "PATH: reason", when
// the file could not be written.
bool saveWhole(const QString &path, const std::function<bool(QIODevice &)> &write, QString &error);
bool saveWhole(const QString &path, const QByteArray &bytes, QString &error);

} // namespace vantor::records

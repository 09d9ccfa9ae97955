// SPDX-License-Identifier: MIT
#pragma once

// Save dialogs that add the file type's extension when the operator typed none, so that the
// Open dialog's filter finds the file again.

#include <QFileDialog>
#include <QString>

namespace vantor::views {

// The path with ".suffix" added when its file name has no extension of its own. A trailing dot
// is an empty extension, filled in; the dot that starts a hidden name (".x") is not one.
[[nodiscard]] QString withDefaultSuffix(const QString &path, const QString &suffix);

// Asks where to save a file of that type; empty when the operator cancels. An existing file is
// confirmed before it is chosen unless the options say otherwise, the added extension counted.
[[nodiscard]] QString askSavePath(QWidget *parent, const QString &caption, const QString &filter,
                                  const QString &suffix, QFileDialog::Options options = {});

} // namespace vantor::views

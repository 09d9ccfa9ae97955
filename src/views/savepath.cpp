// SPDX-License-Identifier: MIT
#include "savepath.h"

#include <QFileInfo>
#include <QMessageBox>

namespace vantor::views {

QString withDefaultSuffix(const QString &path, const QString &suffix)
{
    const QString name = QFileInfo(path).fileName();
    qsizetype start = 0;
    while (start < name.size() && name[start] == QLatin1Char('.'))
        ++start;
    const bool trailingDot = name.endsWith(QLatin1Char('.'));
    // Not a file name (empty, ".", ".."), or one with an extension.
    if (start == name.size() || (name.indexOf(QLatin1Char('.'), start) >= 0 && !trailingDot))
        return path;
    return trailingDot ? path + suffix : path + QLatin1Char('.') + suffix;
}

QString askSavePath(QWidget *parent, const QString &caption, const QString &filter,
                    const QString &suffix, QFileDialog::Options options)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOptions(options);
    // The dialog adds it before it asks about an existing file; not every desktop's dialog does.
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    const QString path = withDefaultSuffix(chosen, suffix);
    if (path != chosen && !options.testFlag(QFileDialog::DontConfirmOverwrite)
        && QFileInfo::exists(path)
        && QMessageBox::question(parent, caption,
                                 QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                                     .arg(QFileInfo(path).fileName()))
            != QMessageBox::Yes)
        return {};
    return path;
}

} // namespace vantor::views

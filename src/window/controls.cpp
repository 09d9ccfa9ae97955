// SPDX-License-Identifier: MIT
#include "controls.h"

#include <QCheckBox>

namespace vantor::window {

int checkValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        break;
    }
    return 2;
}

void setCheckValue(QCheckBox *box, int value)
{
    // 2 is the grey "partly set" state; any other non-zero value sets the box.
    const Qt::CheckState state = value == 0 ? Qt::Unchecked
        : value == 2                        ? Qt::PartiallyChecked
                                            : Qt::Checked;
    box->setCheckState(state);
}

} // namespace vantor::window

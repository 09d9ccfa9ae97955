// SPDX-License-Identifier: MIT
#include "recorder.h"

#include "logging.h"

#include <session/decodedanswer.h>

namespace vantor::views {

QString historyNote()
{
    return QObject::tr("Only the selected group is refreshed, so history covers it alone. For the "
                       "whole board: vantor-cli -d tcp://127.0.0.1:4100 watch --group all through "
                       "vantor-share --listen 4100.");
}

bool Recorder::start(const QString &path)
{
    stop();
    if (!m_file.open(path)) {
        qCWarning(lcViews).noquote() << "recording not started:" << m_file.errorString();
        return false;
    }
    qCInfo(lcViews).noquote() << "recording to" << path;
    emit recordingChanged(true);
    return true;
}

void Recorder::stop()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    qCInfo(lcViews).noquote() << "recording stopped after" << m_file.rows() << "rows";
    emit recordingChanged(false);
}

void Recorder::record(const session::DecodedAnswer &answer)
{
    if (!m_file.isOpen())
        return;
    if (m_file.append(records::portRecords(answer.snapshot, answer.group, answer.receivedUtcMs))) {
        emit rowsWritten(m_file.rows());
        return;
    }
    qCWarning(lcViews).noquote() << "recording stopped:" << m_file.errorString();
    emit failed(m_file.errorString());
    emit recordingChanged(false);
}

} // namespace vantor::views

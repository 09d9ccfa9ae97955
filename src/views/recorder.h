// SPDX-License-Identifier: MIT
#pragma once

#include <records/recordformat.h>

#include <QObject>

namespace vantor::session {
struct DecodedAnswer;
}

namespace vantor::views {

// What the recording and the trends hold: the panel refreshes the selected group alone, so
// their history is that group's; one line, with the command that watches the whole board.
[[nodiscard]] QString historyNote();

// Writes every answer (refreshes and whole reads) to a CSV file, one row per port of the
// answer's group, through the same writer as the command line: same columns, same values.
// A row that cannot be written stops the recording and says why; nothing else stops.
class Recorder : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Appends to path (a header only when it is new or empty); false, with errorString(), when
    // it cannot be opened. A recording already running is stopped first.
    bool start(const QString &path);
    void stop();
    void record(const session::DecodedAnswer &answer);

    [[nodiscard]] bool isRecording() const { return m_file.isOpen(); }
    [[nodiscard]] QString fileName() const { return m_file.fileName(); }
    [[nodiscard]] qint64 rows() const { return m_file.rows(); }
    [[nodiscard]] QString errorString() const { return m_file.errorString(); }

signals:
    void recordingChanged(bool on);
    void rowsWritten(qint64 rows);
    // A row could not be written: the recording has stopped.
    void failed(const QString &message);

private:
    records::RecordFile m_file;
};

} // namespace vantor::views

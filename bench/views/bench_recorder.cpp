// SPDX-License-Identifier: MIT
// The recorder's cost per answer: eight records made and written as CSV rows, flushed to the
// file, as the panel does for every answer while recording; and the records alone.

#include "benchutil.h"

#include <codec/configuration.h>
#include <records/records.h>
#include <session/decodedanswer.h>
#include <views/recorder.h>

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

using namespace vantor;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QRandomGenerator rng(168);
    std::vector<session::DecodedAnswer> answers(32);
    for (auto &a : answers) {
        a.raw = QByteArray(168, '\0');
        for (auto &byte : a.raw)
            byte = static_cast<char>(rng.bounded(256));
        a.code = 40;
        a.receivedUtcMs = 1'765'000'000'000;
        a.snapshot = *codec::decodeSnapshot(
            std::span(reinterpret_cast<const std::uint8_t *>(a.raw.constData()), 168));
    }

    QTemporaryDir dir;
    views::Recorder recorder;
    if (!recorder.start(dir.filePath(QStringLiteral("bench.csv")))) {
        out << "cannot record: " << recorder.errorString() << "\n";
        return 1;
    }
    const double recorded = bench::medianMicroseconds(51, 200, [&](int i) {
        session::DecodedAnswer &a = answers[static_cast<std::size_t>(i) % answers.size()];
        a.receivedUtcMs += 500;
        recorder.record(a);
    });
    std::size_t sink = 0;
    const double records = bench::medianMicroseconds(51, 200, [&](int i) {
        const session::DecodedAnswer &a = answers[static_cast<std::size_t>(i) % answers.size()];
        for (int p = 0; p < 8; ++p)
            sink += records::portRecord(a.snapshot, 0, p, a.receivedUtcMs)[0].text.size();
    });
    out << "record one answer (8 rows, written and flushed): " << recorded << " us (median)\n";
    out << "of which the eight records alone:                 " << records << " us (median)\n";
    out << "rows written: " << recorder.rows() << " (" << sink % 2 << ")\n";
    return 0;
}

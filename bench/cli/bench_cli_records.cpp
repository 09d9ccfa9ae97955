// SPDX-License-Identifier: MIT
// What `watch -O csv` spends per answer on top of decoding it: the eight records, their CSV
// rows, and the rows appended and flushed to a file. Thread CPU time, so that other work on a
// shared machine counts less; medians of 51 batches of 500.

#include <cli/readout.h>
#include <records/recordformat.h>
#include <sim/boardmodel.h>

#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

double threadCpuUs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

template<class Work> double medianCpuMicroseconds(Work &&work)
{
    constexpr int kBatches = 51;
    constexpr int kPerBatch = 500;
    std::vector<double> samples;
    for (int b = 0; b < kBatches; ++b) {
        const double start = threadCpuUs();
        for (int i = 0; i < kPerBatch; ++i)
            work();
        samples.push_back((threadCpuUs() - start) / kPerBatch);
    }
    std::nth_element(samples.begin(), samples.begin() + kBatches / 2, samples.end());
    return samples[kBatches / 2];
}

} // namespace

int main()
{
    using namespace vantor;
    const sim::Snapshot image = sim::BoardModel().snapshot(0);
    const std::span<const std::uint8_t> bytes(image.data(), image.size());

    session::DecodedAnswer answer;
    answer.code = 40;
    answer.receivedUtcMs = 1'765'000'000'000;
    answer.snapshot = *codec::decodeSnapshot(bytes);

    QTemporaryDir dir;
    records::RecordFile file;
    if (!dir.isValid() || !file.open(dir.filePath(QStringLiteral("bench.csv")))) {
        QTextStream(stderr) << "cannot write a scratch file\n";
        return 1;
    }

    volatile qsizetype sink = 0;
    const double decode = medianCpuMicroseconds(
        [&] { sink = sink + codec::decodeSnapshot(bytes)->portStatus[0].PORT_CURRENT; });
    const double csv = medianCpuMicroseconds([&] {
        QByteArray text;
        for (const records::PortRecord &r : cli::portRecords(answer))
            text += records::csvRow(r);
        sink = sink + text.size();
    });
    const double appended = medianCpuMicroseconds([&] { file.append(cli::portRecords(answer)); });

    QTextStream(stdout) << QStringLiteral("per answer, thread CPU time:\n"
                                          "  decode the snapshot:                      %1 us\n"
                                          "  eight records as CSV rows:                %2 us\n"
                                          "  eight records appended to a file, flushed: %3 us\n")
                               .arg(decode, 0, 'f', 2)
                               .arg(csv, 0, 'f', 2)
                               .arg(appended, 0, 'f', 2);
    return 0;
}

// SPDX-License-Identifier: MIT
// Runs every file of the given corpus folders through a fuzz target once, so the corpus is
// part of the ordinary test suite on any compiler.

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char *argv[])
{
    LLVMFuzzerInitialize(&argc, &argv);
    int inputs = 0;
    for (int a = 1; a < argc; ++a) {
        const QDir dir(QString::fromLocal8Bit(argv[a]));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return 2;
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
            ++inputs;
        }
    }
    QTextStream(stdout) << inputs << " corpus inputs replayed\n";
    return inputs > 0 ? 0 : 1;
}

// SPDX-License-Identifier: MIT
// Feeds the pure decoding layer arbitrary blocks and scale texts. A block shorter than a
// snapshot is refused; a longer one is decoded from its first 168 bytes; every code lands
// inside its table; every text is formatted without fault.

#include <fuzzcheck.h>

#include <codec/numbertext.h>
#include <codec/scaling.h>
#include <codec/snapshot.h>
#include <codec/statustext.h>
#include <records/records.h>

#include <QLocale>
#include <QLoggingCategory>

using namespace vantor;
using vantor::testing::check;

namespace {

// Up to 8 bytes of the input after the snapshot, as the text of a scale field.
QString scaleText(const std::uint8_t *data, std::size_t size, std::size_t at)
{
    QString text;
    for (std::size_t i = at; i < size && i < at + 8; ++i)
        text.append(QChar(data[i] % 2 ? u'0' + data[i] % 10 : data[i]));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // An exact-size copy, so a read past the end is caught by the sanitizer.
    std::vector<std::uint8_t> block(data, data + size);
    const auto decoded = codec::decodeSnapshot(block);
    check(decoded.has_value() == (size >= protocol::kSnapshotSize));
    if (!decoded)
        return 0;

    const QLocale locale = QLocale::c();
    const auto &config = decoded->config;
    check(config[codec::Setting::NOISE_MST_EN_1] >= 0
          && config[codec::Setting::NOISE_MST_EN_1] <= 3);
    check(config[codec::Setting::MAX_SYS_PWR] >= 0 && config[codec::Setting::MAX_SYS_PWR] <= 2047);
    const auto &info = decoded->info;
    check(!codec::firmwareVersionText(info.firmwareMajor, info.firmwareMinor).isEmpty());
    check(!codec::chipVersionText(info.chipEighths, locale).isEmpty());
    check(decoded->status.BOX_PWR >= 0 && decoded->status.BOX_PWR <= 2047);

    const QString slope = scaleText(data, size, protocol::kSnapshotSize);
    const QString offset = scaleText(data, size, protocol::kSnapshotSize + 8);
    for (int p = 0; p < codec::kPortsPerGroup; ++p) {
        const auto &port = decoded->portStatus[static_cast<std::size_t>(p)];
        const auto &setting = decoded->ports[static_cast<std::size_t>(p)];
        check(port.ledDrive >= 0 && port.ledDrive <= 3);
        check(setting[codec::Setting::PORT_SYS_MGMNT_3] >= 0
              && setting[codec::Setting::PORT_SYS_MGMNT_3] <= 7);
        // Every record writer takes the port's record as it is.
        const records::PortRecord record = records::portRecord(*decoded, 0, p, 0);
        for (const records::RecordValue &v : record)
            check(v.null || !v.text.isEmpty());
        check(!codec::faultText(port.faultCode).caption.isEmpty());
        check(!codec::modeText(port.modeCode).caption.isEmpty());
        check(!codec::classCaption(port.PORT_CLASS_2).isEmpty());
        for (const int raw : { port.PORT_DISC_C, port.PORT_DISC_R, port.PORT_CLASS_1,
                               port.PORT_CURRENT, port.PORT_VOLTAGE, port.PORT_POWER }) {
            check(raw >= 0 && raw <= 0xFFFF);
            for (auto shownAs :
                 { codec::ShownAs::Tenths, codec::ShownAs::Hundredths, codec::ShownAs::Doubled }) {
                const float shown = codec::scaledReading(static_cast<unsigned>(raw), slope, offset,
                                                         shownAs, locale);
                check(!codec::numberText(shown, locale).isEmpty());
            }
        }
    }
    return 0;
}

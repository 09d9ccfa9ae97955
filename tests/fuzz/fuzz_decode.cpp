// Feeds the pure decoding layer arbitrary blocks and scale texts. A block shorter than a
// snapshot is refused; a longer one is decoded from its first 168 bytes; every code lands
// inside its table; every text is formatted without fault.

#include <decode/numbertext.h>
#include <decode/scaling.h>
#include <decode/snapshot.h>
#include <decode/statustext.h>

#include <QLocale>
#include <QLoggingCategory>

#include <cstdlib>

using namespace vantor;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

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
    const auto decoded = decode::decodeSnapshot(block);
    check(decoded.has_value() == (size >= protocol::kSnapshotSize));
    if (!decoded)
        return 0;

    const QLocale locale = QLocale::c();
    const auto &config = decoded->config;
    check(config.NOISE_MST_EN_1 >= 0 && config.NOISE_MST_EN_1 <= 3);
    check(config.MAX_SYS_PWR >= 0 && config.MAX_SYS_PWR <= 2047);
    check(!decode::firmwareVersionText(config.firmwareMajor, config.firmwareMinor).isEmpty());
    check(!decode::chipVersionText(config.REV_IDENT_2, locale).isEmpty());
    check(decoded->status.BOX_PWR >= 0 && decoded->status.BOX_PWR <= 2047);

    const QString slope = scaleText(data, size, protocol::kSnapshotSize);
    const QString offset = scaleText(data, size, protocol::kSnapshotSize + 8);
    for (int p = 0; p < decode::kPortsPerGroup; ++p) {
        const auto &port = decoded->portStatus[static_cast<std::size_t>(p)];
        const auto &setting = decoded->portConfig[static_cast<std::size_t>(p)];
        check(port.ledDrive >= 0 && port.ledDrive <= 3);
        check(setting.PORT_SYS_MGMNT_3 >= 0 && setting.PORT_SYS_MGMNT_3 <= 7);
        check(!decode::faultText(port.faultCode).caption.isEmpty());
        check(!decode::modeText(port.modeCode).caption.isEmpty());
        check(!decode::classCaption(port.PORT_CLASS_2).isEmpty());
        for (const int raw : { port.PORT_DISC_C, port.PORT_DISC_R, port.PORT_CLASS_1,
                               port.PORT_CURRENT, port.PORT_VOLTAGE, port.PORT_POWER }) {
            check(raw >= 0 && raw <= 0xFFFF);
            for (auto shownAs : { decode::ShownAs::Tenths, decode::ShownAs::Hundredths,
                                  decode::ShownAs::Doubled }) {
                const float shown = decode::scaledReading(static_cast<unsigned>(raw), slope, offset,
                                                          shownAs, locale);
                check(!decode::numberText(shown, locale).isEmpty());
            }
        }
    }
    return 0;
}

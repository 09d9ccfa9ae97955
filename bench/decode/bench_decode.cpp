// SPDX-License-Identifier: MIT
// Time to decode one register snapshot in the pure layer: the fields alone, and the fields
// with every text a whole read shows (scaled readings, status and class texts, versions).

#include "benchutil.h"

#include <codec/configuration.h>
#include <codec/numbertext.h>
#include <codec/scaling.h>
#include <codec/snapshot.h>
#include <codec/statustext.h>

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTextStream>

#include <array>
#include <vector>

using namespace vantor::codec;

namespace {

using Block = std::array<std::uint8_t, vantor::protocol::kSnapshotSize>;

// Everything the window would be given for one snapshot, so the work cannot be optimised away.
std::size_t showAll(const DecodedSnapshot &d, const QLocale &locale)
{
    std::size_t chars = 0;
    const auto add = [&chars](const QString &s) {
        chars += static_cast<std::size_t>(s.size());
    };
    add(integerText(d.config[Setting::SYS_PORT_CNT]));
    add(firmwareVersionText(d.info.firmwareMajor, d.info.firmwareMinor));
    add(chipVersionText(d.info.chipEighths, locale));
    add(integerText(d.status.PORT_SVC_NUM));
    add(numberText(static_cast<float>(d.status.BOX_PWR) / 10.0f, locale));
    for (const PortStatus &st : d.portStatus) {
        const auto scaled = [&](int raw, ShownAs as) {
            add(numberText(scaledReading(static_cast<unsigned>(raw), u"1", u"0", as, locale),
                           locale));
        };
        add(integerText(st.PORT_PWR_ORDER_1));
        scaled(st.PORT_DISC_C, ShownAs::Tenths);
        scaled(st.PORT_DISC_R, ShownAs::Doubled);
        chars += static_cast<std::size_t>(classCaption(st.PORT_CLASS_2).size());
        scaled(st.PORT_CLASS_1, ShownAs::Tenths);
        scaled(st.PORT_CURRENT, ShownAs::Tenths);
        scaled(st.PORT_VOLTAGE, ShownAs::Hundredths);
        scaled(st.PORT_POWER, ShownAs::Tenths);
        chars += static_cast<std::size_t>(faultText(st.faultCode).hover.size());
        chars += static_cast<std::size_t>(modeText(st.modeCode).hover.size());
    }
    return chars;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QRandomGenerator rng(1207);
    std::vector<Block> blocks(64);
    for (Block &b : blocks)
        for (auto &byte : b)
            byte = static_cast<std::uint8_t>(rng.bounded(256));
    const QLocale locale;

    volatile std::size_t sink = 0;
    const double fields = vantor::bench::medianMicroseconds(2001, 200, [&](int i) {
        const auto d = decodeSnapshot(blocks[static_cast<std::size_t>(i) % blocks.size()]);
        sink = sink + static_cast<std::size_t>(d->portStatus[7].PORT_POWER);
    });
    const double texts = vantor::bench::medianMicroseconds(2001, 20, [&](int i) {
        const auto d = decodeSnapshot(blocks[static_cast<std::size_t>(i) % blocks.size()]);
        sink = sink + showAll(*d, locale);
    });

    QTextStream out(stdout);
    out << "decode one snapshot, fields only:      " << fields << " us (median)\n";
    out << "decode one snapshot, with every text:  " << texts << " us (median)\n";
    out << "target: under 5 us\n";
    return 0;
}

#include "portblock.h"

#include "fieldwriter.h"

namespace vantor::encode {

namespace {

using decode::Field;
using detail::flagBit;

QString portCaption(const char *caption, int group, int p)
{
    return QStringLiteral("%1 of Port %2")
        .arg(QLatin1String(caption))
        .arg(group * kPortsPerGroup + p + 1);
}

} // namespace

PortBlockResult encodePortBlock(const PortGroupSettings &settings, int group, const QLocale &locale)
{
    PortBlockResult result;

    struct Texts
    {
        std::int32_t order = 0;
        std::int32_t limit = 0;
    };
    std::array<Texts, kPortsPerGroup> texts {};
    // Every entry is read before anything is written, so a refusal leaves nothing half done.
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const PortSettings &port = settings.ports[static_cast<std::size_t>(p)];
        const auto refuse = [&](const char *field, const char *caption, const QString &problem) {
            result.refusal = Refusal {
                QStringLiteral("%1_%2").arg(QLatin1String(field)).arg(group * kPortsPerGroup + p),
                portCaption(caption, group, p) + QLatin1Char(' ') + problem
            };
        };
        if (port.PORT_SYS_MGMNT_3 < 0) {
            refuse("PORT_SYS_MGMNT_3", "Set Port Priorty", QStringLiteral("has nothing selected"));
            return result;
        }
        if (port.PORT_LED_DRV < 0) {
            refuse("PORT_LED_DRV", "LED Output Drive", QStringLiteral("has nothing selected"));
            return result;
        }
        const IntegerReading order = readInteger(port.PORT_PWR_ORDER_2, kInt16, locale);
        if (!order.ok()) {
            refuse("PORT_PWR_ORDER_2", "Powered Order", problemText(order.problem, kInt16));
            return result;
        }
        const IntegerReading limit = readInteger(port.PORT_PWR_LMT, kInt16, locale);
        if (!limit.ok()) {
            refuse("PORT_PWR_LMT", "Set Port Power Limit (W)", problemText(limit.problem, kInt16));
            return result;
        }
        texts[static_cast<std::size_t>(p)] = { order.value, limit.value };
    }

    auto &b = result.block;
    constexpr std::size_t base = kPortBlockSnapshotBase;
    for (int p = 0; p < kPortsPerGroup; ++p) {
        const auto i = static_cast<std::size_t>(p);
        const PortSettings &port = settings.ports[i];
        const auto put = [&b, p](Field field, std::uint32_t value) {
            detail::putField(b, base, field, p, value);
        };
        for (std::size_t k = 0; k < port.PORT_MODE_BYPS.size(); ++k)
            put(static_cast<Field>(static_cast<std::size_t>(Field::PORT_MODE_BYPS_1) + k),
                flagBit(port.PORT_MODE_BYPS[k]));
        put(Field::PORT_SYS_MGMNT_1, flagBit(port.PORT_SYS_MGMNT_1));
        put(Field::PORT_SYS_MGMNT_2, flagBit(port.PORT_SYS_MGMNT_2));
        put(Field::PORT_SYS_MGMNT_3, static_cast<std::uint32_t>(port.PORT_SYS_MGMNT_3));
        put(Field::PORT_PWR_ORDER, static_cast<std::uint32_t>(texts[i].order));
        put(Field::PORT_PWR_LMT, static_cast<std::uint32_t>(texts[i].limit));
        put(Field::PORT_LED_DRV, static_cast<std::uint32_t>(port.PORT_LED_DRV));
        b[kFaultEnableOffset] |= static_cast<std::uint8_t>(flagBit(port.FAULT_ENABLE) << p);
        const int mark = port.FAULT_PAUSED & port.FAULT_ENABLE & port.PORT_SYS_MGMNT_2
            & settings.COMMON_CTRL_1;
        b[kPauseMarkOffset] |= static_cast<std::uint8_t>(flagBit(mark) << p);
        result.pauseMarks[i] = { mark, mark == 1 };
    }
    return result;
}

} // namespace vantor::encode

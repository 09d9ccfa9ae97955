// SPDX-License-Identifier: MIT
#include "records.h"

#include <codec/numbertext.h>
#include <codec/scaling.h>
#include <codec/statustext.h>

#include <QDateTime>

namespace vantor::records {

using namespace codec;

namespace {

using namespace Qt::Literals::StringLiterals;

RecordValue integerValue(int v)
{
    return { integerText(v), static_cast<double>(v) };
}

// The value the window shows with slope 1 and offset 0, and its text in the C locale.
RecordValue reading(int raw, ShownAs shownAs)
{
    const float shown = shownValue(scaledInteger(static_cast<unsigned>(raw), 1.0, 0.0), shownAs);
    return { numberText(shown, QLocale::c()), static_cast<double>(shown) };
}

} // namespace

QLatin1StringView pwDStatus(int portEnable, int modeCode, int faultCode)
{
    const QLatin1StringView mode = modeText(modeCode).caption;
    if (portEnable == 0)
        return "disabled"_L1;
    // A shorted port goes off at once: its fault tells it from one switched off.
    if (faultText(faultCode).caption != "Null"_L1)
        return "fault"_L1;
    if (mode == "Port Off"_L1 || mode == "Ramp Down"_L1)
        return "disabled"_L1;
    if (mode == "Ramp Up"_L1 || mode == "I Sample"_L1 || mode == "V Sample"_L1)
        return "delivering"_L1;
    if (mode == "R Detect"_L1 || mode == "C Detect"_L1 || mode == "Classify"_L1)
        return "searching"_L1;
    return "otherfault"_L1;
}

QLatin1StringView ledColour(int ledDrive, int portEnable)
{
    const LedIndication led = ledIndication(ledDrive, portEnable);
    if (led.red)
        return "red"_L1;
    if (led.yellow)
        return "yellow"_L1;
    if (led.green)
        return "green"_L1;
    return "off"_L1;
}

QString isoTimestamp(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(u"yyyy-MM-ddTHH:mm:ss.zzz'Z'");
}

PortRecord portRecord(const DecodedSnapshot &answer, int group, int p, qint64 utcMs)
{
    const PortStatus &st = answer.portStatus[static_cast<std::size_t>(p)];
    PortRecord r;
    const auto set = [&r](Column c, RecordValue v) {
        r[static_cast<std::size_t>(c)] = std::move(v);
    };
    const auto text = [](QLatin1StringView t) {
        return RecordValue { QString(t) };
    };
    set(Column::Timestamp, { isoTimestamp(utcMs), static_cast<double>(utcMs) });
    set(Column::Group, integerValue(group));
    set(Column::Port, integerValue(group * kPortsPerGroup + p + 1));
    set(Column::PortEnable,
        { st.portEnable ? u"true"_s : u"false"_s, static_cast<double>(st.portEnable != 0) });
    set(Column::Mode, text(modeText(st.modeCode).caption));
    set(Column::Fault, text(faultText(st.faultCode).caption));
    set(Column::PwDStatus, text(pwDStatus(st.portEnable, st.modeCode, st.faultCode)));
    const QLatin1StringView classText = classCaption(st.PORT_CLASS_2);
    if (classText == "Error"_L1)
        set(Column::Class, { QString(), 0, true });
    else
        set(Column::Class, integerValue(st.PORT_CLASS_2));
    set(Column::ClassText, text(classText));
    set(Column::ClassCurrent, reading(st.PORT_CLASS_1, ShownAs::Tenths));
    set(Column::Current, reading(st.PORT_CURRENT, ShownAs::Tenths));
    set(Column::Voltage, reading(st.PORT_VOLTAGE, ShownAs::Hundredths));
    set(Column::Power, reading(st.PORT_POWER, ShownAs::Tenths));
    set(Column::DiscoveryR, reading(st.PORT_DISC_R, ShownAs::Doubled));
    set(Column::DiscoveryC, reading(st.PORT_DISC_C, ShownAs::Tenths));
    set(Column::PoweredOrder, integerValue(st.PORT_PWR_ORDER_1));
    set(Column::Led, text(ledColour(st.ledDrive, st.portEnable)));
    return r;
}

PortRecords portRecords(const DecodedSnapshot &answer, int group, qint64 utcMs)
{
    PortRecords records;
    for (int p = 0; p < kPortsPerGroup; ++p)
        records[static_cast<std::size_t>(p)] = portRecord(answer, group, p, utcMs);
    return records;
}

SystemRecord systemRecord(const DecodedSnapshot &answer)
{
    const float watts = static_cast<float>(answer.status.BOX_PWR) / 10.0f;
    return { firmwareVersionText(answer.info.firmwareMajor, answer.info.firmwareMinor),
             chipVersionText(answer.info.chipEighths, QLocale::c()),
             { numberText(watts, QLocale::c()), static_cast<double>(watts) },
             answer.config[Setting::SYS_PORT_CNT],
             answer.status.PORT_SVC_NUM };
}

} // namespace vantor::records

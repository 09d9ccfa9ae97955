// SPDX-License-Identifier: MIT
#include "legend.h"

#include "layout.h"

#include <codec/scaling.h>
#include <codec/statustext.h>

#include <QColor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace vantor::window {

namespace {

constexpr int kStatusCodes = 16; // a nibble
constexpr int kClassBytes = 256;
constexpr int kLedCodes = 4; // two bits

QString escaped(QLatin1StringView text)
{
    return QString(text).toHtmlEscaped();
}

QString cell(const QString &html, const char *tag = "td")
{
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), html);
}

QString table(const QStringList &headers, const QStringList &rows)
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr>");
    for (const QString &header : headers)
        html += cell(header.toHtmlEscaped(), "th");
    html += QStringLiteral("</tr>");
    for (const QString &row : rows)
        html += QStringLiteral("<tr>") + row + QStringLiteral("</tr>");
    return html + QStringLiteral("</table>");
}

// Codes that share one entry of a status table, in the order of their first code.
QStringList statusRows(codec::StatusText (*lookUp)(int))
{
    std::vector<std::pair<codec::StatusText, QStringList>> groups;
    for (int code = 0; code < kStatusCodes; ++code) {
        const codec::StatusText text = lookUp(code);
        auto same = std::find_if(groups.begin(), groups.end(), [&text](const auto &group) {
            return group.first.caption == text.caption && group.first.hover == text.hover;
        });
        if (same == groups.end())
            groups.push_back({ text, { QString::number(code) } });
        else
            same->second << QString::number(code);
    }
    QStringList rows;
    for (const auto &[text, codes] : groups) {
        rows << cell(codes.join(QStringLiteral(", "))) + cell(escaped(text.caption))
                + cell(escaped(text.hover));
    }
    return rows;
}

// Runs of class bytes with one caption: "0", ..., "6-255".
QStringList classRows()
{
    QStringList rows;
    int first = 0;
    for (int byte = 1; byte <= kClassBytes; ++byte) {
        if (byte < kClassBytes && codec::classCaption(byte) == codec::classCaption(first))
            continue;
        const QString bytes = byte - 1 == first ? QString::number(first)
                                                : QStringLiteral("%1-%2").arg(first).arg(byte - 1);
        rows << cell(bytes) + cell(escaped(codec::classCaption(first)));
        first = byte;
    }
    return rows;
}

// The LED of the port columns whose name ends in colourName ("Port_LED_Red"), as a lamp.
QString lamp(QLatin1StringView colourName)
{
    for (const layout::PortLedRow &row : layout::kPortLeds) {
        if (QLatin1StringView(row.name).endsWith(colourName)) {
            return QStringLiteral("<span style=\"color:%1\">&#9679;</span> %2")
                .arg(QColor(row.fill).name(), QString(colourName).toLower());
        }
    }
    return QString(colourName);
}

QString lit(const codec::LedIndication &led)
{
    if (led.green)
        return lamp(QLatin1StringView("Green"));
    if (led.red)
        return lamp(QLatin1StringView("Red"));
    if (led.yellow)
        return lamp(QLatin1StringView("Yellow"));
    return QObject::tr("none");
}

QStringList ledRows()
{
    // The drive codes are named as the "LED Output Drive" list names them.
    QStringList names;
    for (const layout::PortListRow &row : layout::kPortLists) {
        if (QLatin1String(row.name) == QLatin1String("PORT_LED_DRV"))
            names = QString::fromUtf8(row.items).split(u'|');
    }
    QStringList rows;
    for (int code = 0; code < kLedCodes; ++code) {
        const QString name = code < names.size()
            ? QStringLiteral("%1 (%2)").arg(code).arg(names[code].toHtmlEscaped())
            : QString::number(code);
        rows << cell(name) + cell(lit(codec::ledIndication(code, 1)))
                + cell(lit(codec::ledIndication(code, 0)));
    }
    return rows;
}

} // namespace

QString legendHtml()
{
    const auto heading = [](const QString &text) {
        return QStringLiteral("<h3>%1</h3>").arg(text.toHtmlEscaped());
    };
    const QStringList statusHeaders { QObject::tr("Code"), QObject::tr("Caption"),
                                      QObject::tr("Meaning (hover text)") };
    QString html;
    html += heading(QObject::tr("LED Status Indicators"));
    html += QStringLiteral("<p>%1</p>")
                .arg(QObject::tr("Each port lights at most one LED, chosen by the LED drive code "
                                 "the board reports for it and by the port's \"Port Enable\" box.")
                         .toHtmlEscaped());
    html += table({ QObject::tr("LED drive code"), QObject::tr("Port Enable set"),
                    QObject::tr("Port Enable clear") },
                  ledRows());
    html += heading(QObject::tr("Fault Status"));
    html += table(statusHeaders, statusRows(&codec::faultText));
    html += heading(QObject::tr("Mode Status"));
    html += table(statusHeaders, statusRows(&codec::modeText));
    html += heading(QObject::tr("Determined Class"));
    html += table({ QObject::tr("Class byte"), QObject::tr("Caption") }, classRows());
    return html;
}

void showLegend(QWidget *parent)
{
    auto *dialog = parent->findChild<QDialog *>(QStringLiteral("Legend"));
    if (!dialog) {
        dialog = new QDialog(parent);
        dialog->setObjectName(QStringLiteral("Legend"));
        dialog->setWindowTitle(QObject::tr("Status and LED legend"));
        auto *text = new QTextBrowser(dialog);
        text->setObjectName(QStringLiteral("LegendText"));
        text->setHtml(legendHtml());
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
        QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
        auto *layout = new QVBoxLayout(dialog);
        layout->addWidget(text);
        layout->addWidget(buttons);
        dialog->resize(620, 560);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace vantor::window

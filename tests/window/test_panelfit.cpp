// SPDX-License-Identifier: MIT

// Every text the window shows fits its designed box, measured with the metrics of the widget
// that draws it: captions, buttons, check boxes, frame titles, tab headers, entry texts, and
// every text the decoders can write into a value label. A change of face that cuts one fails.

#include <panelrig.h>

#include <window/layout.h>
#include <window/numericentry.h>
#include <window/panelfont.h>

#include <codec/numbertext.h>
#include <codec/scaling.h>
#include <codec/statustext.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

using namespace vantor;
using testing::ShownPanel;

namespace {

// QLineEdit keeps this many pixels free on each side of its text.
constexpr int kLineEditMargin = 2;

QString withoutMnemonic(QString text)
{
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
        .remove(u'&')
        .replace(u'\x01', u'&');
}

// What overflows, or an empty string.
QString overflow(const QString &text, const QFontMetrics &metrics, QRect box, bool wrap)
{
    const QRect need = wrap
        ? metrics.boundingRect(QRect(0, 0, box.width(), 10000), Qt::TextWordWrap, text)
        : QRect(0, 0, metrics.horizontalAdvance(text), metrics.height());
    if (need.width() <= box.width() && need.height() <= box.height())
        return {};
    return QStringLiteral("\"%1\" needs %2 x %3 in %4 x %5")
        .arg(text)
        .arg(need.width())
        .arg(need.height())
        .arg(box.width())
        .arg(box.height());
}

QString labelOverflow(const QLabel *label, const QString &text)
{
    return overflow(text, label->fontMetrics(), label->contentsRect(), label->wordWrap());
}

QString checkBoxOverflow(const QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    return overflow(withoutMnemonic(box->text()), box->fontMetrics(), room, false);
}

QString buttonOverflow(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
    room.adjust(margin / 2, 0, -margin / 2, 0);
    return overflow(withoutMnemonic(button->text()), button->fontMetrics(), room, false);
}

QString titleOverflow(const QGroupBox *frame)
{
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    option.textAlignment = frame->alignment();
    const QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, frame);
    const int need = frame->fontMetrics().horizontalAdvance(withoutMnemonic(frame->title()));
    if (title.left() + need <= frame->width() - 1)
        return {};
    return QStringLiteral("title \"%1\" needs %2 from %3 in %4")
        .arg(frame->title())
        .arg(need)
        .arg(title.left())
        .arg(frame->width());
}

QString entryOverflow(const QLineEdit *entry, const QString &text)
{
    const int frame = entry->hasFrame()
        ? entry->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, entry)
        : 0;
    const QMargins margins = entry->textMargins();
    const QRect room = entry->rect().marginsRemoved(margins).adjusted(
        frame + kLineEditMargin, frame, -frame - kLineEditMargin, -frame);
    return overflow(text, entry->fontMetrics(), room, false);
}

// Every text the decoders can write into a value label, in the C locale and in one with a
// decimal comma. Digits have one width in the panel's face (checked below), so the longest
// text of each number form stands for all of its values.
QStringList decoderTexts()
{
    QStringList texts;
    for (int code = 0; code < 16; ++code) {
        texts << codec::faultText(code).caption << codec::modeText(code).caption;
    }
    for (int classByte = 0; classByte < 256; ++classByte)
        texts << codec::classCaption(classByte);
    texts << codec::firmwareVersionText(255, 255);
    using codec::ShownAs;
    for (const QLocale &locale : { QLocale::c(), QLocale(QLocale::German, QLocale::Germany) }) {
        for (ShownAs shownAs : { ShownAs::Tenths, ShownAs::Hundredths, ShownAs::Doubled }) {
            for (unsigned raw : { 0u, 1u, 7u, 65535u }) {
                for (const char *slope : { "0", "1", "999" }) {
                    for (const char *offset : { "0", "99" }) {
                        const float shown
                            = codec::scaledReading(raw, QString::fromLatin1(slope),
                                                   QString::fromLatin1(offset), shownAs, locale);
                        texts << codec::numberText(shown, locale);
                    }
                }
            }
        }
        texts << codec::numberText(65535 / 10.0f, locale) << codec::chipVersionText(255, locale);
    }
    texts.removeDuplicates();
    return texts;
}

} // namespace

class PanelFitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void faceIsTheChosenOne();
    void shownTextsFit();
    void decodedTextsFit_data();
    void decodedTextsFit();
    void tabHeadersFitTheStrip();

private:
    // Every shown value label, the system's and those of all 64 port columns.
    [[nodiscard]] QList<QLabel *> valueLabels();

    std::unique_ptr<ShownPanel> m_panel;
};

void PanelFitTest::initTestCase()
{
    m_panel = std::make_unique<ShownPanel>();
    QVERIFY(m_panel->exposed());
}

void PanelFitTest::cleanupTestCase()
{
    m_panel.reset();
}

QList<QLabel *> PanelFitTest::valueLabels()
{
    window::MainControls &c = m_panel->c();
    QList<QLabel *> labels { c.REV_IDENT_1, c.REV_IDENT_2, c.BOX_PWR };
    for (const window::layout::PortValueRow &row : window::layout::kPortValues) {
        if (row.show != window::layout::Show::Shown)
            continue;
        for (QLabel *label : c.*row.array)
            labels << label;
    }
    return labels;
}

void PanelFitTest::faceIsTheChosenOne()
{
    const QString chosen = QString::fromLatin1(window::kPanelFamily);
    QCOMPARE(QFontInfo(m_panel->window->font()).family(), chosen);
    window::MainControls &c = m_panel->c();
    for (QWidget *widget : std::initializer_list<QWidget *> {
             c.Label1[40], c.PORT_CURRENT[0], c.Update_All, c.Frame2, c.Port_Frame[0],
             c.Interval_Update, c.PD_R_HIGH, c.Label5, c.Port_Control->tabBar() }) {
        QVERIFY2(QFontInfo(widget->font()).family() == chosen, qPrintable(widget->objectName()));
    }
    // One advance for every digit: then the longest number of a form is also its widest.
    const QFontMetrics metrics = c.PORT_CURRENT[0]->fontMetrics();
    for (char16_t digit = u'1'; digit <= u'9'; ++digit)
        QCOMPARE(metrics.horizontalAdvance(QChar(digit)), metrics.horizontalAdvance(u'0'));
}

// Every widget that shows on any tab page, measured where it stands.
void PanelFitTest::shownTextsFit()
{
    window::MainControls &c = m_panel->c();
    QWidget *content = c.Master_Frame;
    QStringList cut;
    for (int tab = 0; tab < c.Port_Control->count(); ++tab) {
        c.Port_Control->setCurrentIndex(tab);
        QCOMPARE(c.Port_Control->currentIndex(), tab);
        for (QWidget *widget : content->findChildren<QWidget *>()) {
            if (!widget->isVisible())
                continue;
            QString problem;
            if (auto *label = qobject_cast<QLabel *>(widget))
                problem = labelOverflow(label, withoutMnemonic(label->text()));
            else if (auto *box = qobject_cast<QCheckBox *>(widget))
                problem = box->width() > box->height() ? checkBoxOverflow(box) : QString();
            else if (auto *button = qobject_cast<QPushButton *>(widget))
                problem = buttonOverflow(button);
            else if (auto *frame = qobject_cast<QGroupBox *>(widget))
                problem = titleOverflow(frame);
            else if (auto *entry = qobject_cast<QLineEdit *>(widget))
                problem = entryOverflow(entry, entry->text());
            if (!problem.isEmpty())
                cut << widget->objectName() + QStringLiteral(": ") + problem;
        }
    }
    c.Port_Control->setCurrentIndex(0);
    // The board may report a resistance limit of twice 65535 ohms.
    for (QLineEdit *entry : { c.PD_R_HIGH, c.PD_R_LOW }) {
        const QString problem = entryOverflow(entry, QStringLiteral("131070"));
        if (!problem.isEmpty())
            cut << entry->objectName() + QStringLiteral(": ") + problem;
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
}

void PanelFitTest::decodedTextsFit_data()
{
    QTest::addColumn<QString>("text");
    for (const QString &text : decoderTexts())
        QTest::newRow(qPrintable(text)) << text;
    // The widest forms, named so that a reader of the table sees them.
    QVERIFY(decoderTexts().contains(QStringLiteral("1.309391E+08")));
    QVERIFY(decoderTexts().contains(QStringLiteral("131070")));
    QVERIFY(decoderTexts().contains(QStringLiteral("UV/OV .5ms")));
}

void PanelFitTest::decodedTextsFit()
{
    QFETCH(QString, text);

    for (QLabel *label : valueLabels()) {
        const QString problem = labelOverflow(label, text);
        QVERIFY2(problem.isEmpty(),
                 qPrintable(label->objectName() + QStringLiteral(": ") + problem));
    }
}

void PanelFitTest::tabHeadersFitTheStrip()
{
    QTabBar *bar = m_panel->c().Port_Control->tabBar();
    QCOMPARE(bar->count(), 8);
    QVERIFY2(bar->tabRect(bar->count() - 1).right() < bar->width(),
             qPrintable(QStringLiteral("the last header ends at %1 of %2")
                            .arg(bar->tabRect(bar->count() - 1).right())
                            .arg(bar->width())));
    for (QToolButton *arrow : bar->findChildren<QToolButton *>())
        QVERIFY2(!arrow->isVisible(), "no scroll arrows");
    for (int tab = 0; tab < bar->count(); ++tab) {
        const int need = bar->fontMetrics().horizontalAdvance(bar->tabText(tab));
        QVERIFY2(bar->tabRect(tab).width() > need, qPrintable(bar->tabText(tab)));
    }
}

QTEST_MAIN(PanelFitTest)
#include "test_panelfit.moc"

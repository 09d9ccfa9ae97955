#include <window/numericentry.h>

#include <QTest>

class NumericEntryTest : public QObject
{
    Q_OBJECT

private slots:
    void placeholder() { }
};

QTEST_MAIN(NumericEntryTest)
#include "test_numericentry.moc"

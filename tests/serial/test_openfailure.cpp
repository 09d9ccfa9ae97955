// SPDX-License-Identifier: MIT
// Why an open failed, told from the facts: every kind, including those this machine cannot
// produce for real (a permission error never happens to root).

#include <serial/openfailure.h>

#include <QTest>

#include <cerrno>

using vantor::serial::classifyOpenFailure;
using vantor::serial::OpenFacts;
using vantor::serial::OpenFailure;

Q_DECLARE_METATYPE(vantor::serial::OpenFacts)

namespace {

const QString kUsb = QStringLiteral("/dev/ttyUSB0");

OpenFacts factsOf(QSerialPort::SerialPortError error, const char *errorText, bool exists,
                  bool characterDevice, int accessError = 0)
{
    return { kUsb, error, QString::fromLatin1(errorText), exists, characterDevice, accessError };
}

} // namespace

class TestOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
};

void TestOpenFailure::classify_data()
{
    QTest::addColumn<OpenFacts>("facts");
    QTest::addColumn<OpenFailure>("kind");
    QTest::addColumn<QString>("message");

    const QString permission = kUsb
        + QStringLiteral(": permission denied (add your user to the dialout group: "
                         "sudo usermod -aG dialout $USER, then log in again)");
    const QString missing = kUsb + QStringLiteral(": no such device");
    const QString notSerial = kUsb + QStringLiteral(": not a serial device");
    const auto notTty = QSerialPort::UnsupportedOperationError;

    QTest::newRow("opened") << factsOf(QSerialPort::NoError, "", true, true) << OpenFailure::None
                            << QString();
    QTest::newRow("no device chosen")
        << OpenFacts {} << OpenFailure::NoSuchDevice << QStringLiteral("no serial device chosen");
    QTest::newRow("missing path") << factsOf(QSerialPort::DeviceNotFoundError,
                                             "No such file or directory", false, false, ENOENT)
                                  << OpenFailure::NoSuchDevice << missing;
    QTest::newRow("node left behind by an unplugged adapter")
        << factsOf(QSerialPort::DeviceNotFoundError, "No such device", true, true)
        << OpenFailure::NoSuchDevice << missing;
    QTest::newRow("no read/write permission")
        << factsOf(QSerialPort::PermissionError, "Permission denied", true, true, EACCES)
        << OpenFailure::PermissionDenied << permission;
    QTest::newRow("locked by another program")
        << factsOf(QSerialPort::PermissionError, "Permission error while locking the device", true,
                   true)
        << OpenFailure::Busy << kUsb + QStringLiteral(": busy, in use by another program");
    QTest::newRow("regular file") << factsOf(notTty, "Inappropriate ioctl for device", true, false)
                                  << OpenFailure::NotSerialDevice << notSerial;
    QTest::newRow("directory") << factsOf(QSerialPort::UnknownError, "Is a directory", true, false)
                               << OpenFailure::NotSerialDevice << notSerial;
    QTest::newRow("character device, not a terminal")
        << factsOf(notTty, "Inappropriate ioctl for device", true, true)
        << OpenFailure::NotSerialDevice << notSerial;
    QTest::newRow("anything else: Qt's words")
        << factsOf(QSerialPort::UnknownError, "No such device or address", true, true)
        << OpenFailure::Other << kUsb + QStringLiteral(": No such device or address");
    QTest::newRow("anything else, no words")
        << factsOf(QSerialPort::ResourceError, "", true, true) << OpenFailure::Other
        << kUsb + QStringLiteral(": cannot open");
}

void TestOpenFailure::classify()
{
    QFETCH(OpenFacts, facts);
    QFETCH(OpenFailure, kind);
    QFETCH(QString, message);

    const auto verdict = classifyOpenFailure(facts);
    QCOMPARE(verdict.kind, kind);
    QCOMPARE(verdict.message, message);
}

QTEST_GUILESS_MAIN(TestOpenFailure)
#include "test_openfailure.moc"

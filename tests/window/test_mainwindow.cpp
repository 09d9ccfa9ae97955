#include <fakes.h>

#include <window/controls.h>
#include <window/mainwindow.h>

#include <protocol/communication.h>

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

using namespace vantor;

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void screenshot();
};

void MainWindowTest::screenshot()
{
    testing::FakeLink link;
    testing::FakeTimer timer1;
    testing::FakeTimer timer2;
    window::MainWindow w(link, serial::PortMap(), &timer1, &timer2);
    w.formLoad();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString dir = qEnvironmentVariable("VANTOR_BINARY_DIR", QDir::currentPath())
        + QStringLiteral("/tests/window/screenshots");
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(w.grab().save(dir + QStringLiteral("/mainwindow.png")));
}

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"

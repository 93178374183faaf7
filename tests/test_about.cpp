#include "platform/ClassicLook.h"
#include <QFile>
#include <QtTest>
class TestAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void icon()
    {
        classiclook::loadResources();
        QVERIFY(!classiclook::windowIcon().pixmap(32).isNull());
        QVERIFY(QFile::exists(":/images/about.png"));
    }
};
QTEST_MAIN(TestAbout)
#include "test_about.moc"

#include "app/Form1.h"
#include "forms/frmDemo.h"
#include "platform/ClassicLook.h"
#include "platform/ShowOnce.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferox64 INI Editor"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    classiclook::apply(app);
    // The end-to-end tests run the real program against an SMTP server on a
    // free loopback port; nothing else sets this, and mail goes to port 25.
    const QString testPort = qEnvironmentVariable("FEROX64_TEST_SMTP_PORT");
    if (!testPort.isEmpty())
        frmDemo::setPortForTesting(testPort);
    // The program ends when its last window closes, not when Form1 does.
    QApplication::setQuitOnLastWindowClosed(true);
    showonce::show<Form1>();
    return QApplication::exec();
}

#include "app/Form1.h"
#include "platform/ClassicLook.h"
#include "platform/ShowOnce.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferox64 INI Editor"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    classiclook::apply(app);
    // The program ends when its last window closes, not when Form1 does.
    QApplication::setQuitOnLastWindowClosed(true);
    showonce::show<Form1>();
    return QApplication::exec();
}

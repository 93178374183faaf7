// Shows the About box the way the program does, for looks and for checks that
// need a real event loop.
//   helper_about_window            shows it until it is closed
//   helper_about_window lifetime   opens a main window and the About box, closes
//                                  the main window, reports whether the program
//                                  is still up, then closes the About box; exit
//                                  code 0 when the program then ended by itself
#include "forms/frmAbout.h"
#include "platform/ClassicLook.h"
#include "platform/ShowOnce.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    classiclook::apply(app);
    const bool lifetime = argc > 1 && qstrcmp(argv[1], "lifetime") == 0;
    if (!lifetime) {
        showonce::show<frmAbout>();
        return app.exec();
    }

    auto *main = new QWidget;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    showonce::show<frmAbout>();
    QTimer::singleShot(100, main, &QWidget::close);
    QTimer::singleShot(400, [] {
        frmAbout *about = showonce::instance<frmAbout>();
        std::printf("about open after main closed: %s\n", about && about->isVisible() ? "yes" : "no");
        std::fflush(stdout);
        if (about)
            about->close();
    });
    // Still running long after the last window closed: report it.
    QTimer::singleShot(5000, [] { QCoreApplication::exit(3); });
    return app.exec();
}

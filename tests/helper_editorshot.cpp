// Shows the editor on a settings file with a section and a key chosen, for a
// screenshot, then closes after a few seconds.
//
//   helper_editorshot FILE [SECTION-ROW] [KEY-ROW]
// Prints "ready" once the key line is selected.

#include "editor/frmINIEditor.h"
#include "platform/AppFolder.h"
#include "platform/ClassicLook.h"
#include "platform/OpenFileDialog.h"
#include "platform/ShowOnce.h"

#include <QApplication>
#include <QFileInfo>
#include <QListView>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    classiclook::apply(app);
    if (argc < 2) {
        std::fprintf(stderr, "usage: helper_editorshot FILE [SECTION-ROW] [KEY-ROW]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int sectionRow = argc > 2 ? std::atoi(argv[2]) : 0;
    const int keyRow = argc > 3 ? std::atoi(argv[3]) : 0;
    appfolder::overrideForTesting(QFileInfo(path).absolutePath());
    OpenFileDialog::setNextAnswers({path});
    frmINIEditor *form = showonce::show<frmINIEditor>();
    QTimer::singleShot(500, form, [=] {
        auto *names = form->findChild<QListView *>(QStringLiteral("ListNames"));
        names->setCurrentIndex(names->model()->index(sectionRow, 0));
        names->scrollTo(names->currentIndex());
        auto *keys = form->findChild<QListView *>(QStringLiteral("ListKey1"));
        keys->setCurrentIndex(keys->model()->index(keyRow, 0));
        keys->setFocus();
        std::printf("ready\n");
        std::fflush(stdout);
    });
    QTimer::singleShot(8000, &app, &QApplication::quit);
    return QApplication::exec();
}

// Loads a settings file into the editor window and updates it over and over,
// alternating between its text and that text reversed, until it is killed.
// The crash-safety test kills it at random moments and checks the file.
//
//   helper_updateloop FILE

#include "EditorWindowDriver.h"
#include "fileio/FileSizeLimit.h"
#include "platform/AppFolder.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    filebytes::ignoreFileSizeSignal(); // as the program does
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: helper_updateloop FILE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    messagebox::setRecording(true);
    appfolder::overrideForTesting(QFileInfo(path).absolutePath());
    frmINIEditor *form = editordriver::open(path);
    ByteTextEdit *text = editordriver::text1(form);
    const QByteArray original = text->bytes().toByteArray();
    QByteArray reversed = original;
    std::reverse(reversed.begin(), reversed.end());
    for (int i = 0; i < 100000; ++i) {
        text->setBytes(i % 2 ? original : reversed);
        form->cmdAdd_Click();
        if (!messagebox::takeRecorded().isEmpty())
            return 1;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}

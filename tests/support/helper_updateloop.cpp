// Loads a settings file into the editor window and updates it over and over
// until it is killed (or COUNT updates are done).
//
//   helper_updateloop FILE            alternates the text and that text reversed
//   helper_updateloop FILE keep COUNT each round adds a comment line to the text;
//                                     when the file changed on disk meanwhile the
//                                     question is answered with Reload
//
// The crash-safety test kills the first kind at random moments and checks the
// file; the lock tests run the second beside programs adding entries, none of
// which may be lost. Exits 1 at any other message.

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
    const bool keep = argc == 4 && QByteArrayView(argv[2]) == "keep";
    if (argc != 2 && !keep) {
        std::fprintf(stderr, "usage: helper_updateloop FILE [keep COUNT]\n");
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
    const int count = keep ? QByteArray(argv[3]).toInt() : 100000;
    for (int i = 0; i < count; ++i) {
        if (keep) {
            const QByteArray edited
                = text->bytes().toByteArray() + "; save " + QByteArray::number(i) + "\r\n";
            text->setBytes(edited);
            messagebox::setNextAnswers({ messagebox::Answer::Reload });
        } else {
            text->setBytes(i % 2 ? original : reversed);
        }
        form->cmdAdd_Click();
        for (const messagebox::Record &shown : messagebox::takeRecorded()) {
            if (!keep || !shown.text.contains(QStringLiteral("changed on disk"))) {
                std::fprintf(stderr, "%s\n", qPrintable(shown.text));
                return 1;
            }
        }
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}

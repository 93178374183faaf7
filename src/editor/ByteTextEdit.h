#pragma once

// QScintilla's headers spell Qt's signal and slot keywords, which this project
// switches off; lend them for the include only.
#define signals Q_SIGNALS
#define slots Q_SLOTS
#include <Qsci/qsciscintilla.h>
#undef signals
#undef slots

#include "core/IniText.h"
#include "core/LongLines.h"
#include "fileio/FileError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QClipboard>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

// The editor's raw text area. It holds a settings file's bytes one to one: the
// widget runs in 8-bit mode, so every document position is a byte offset and no
// byte value is ever changed, dropped or added by loading or reading back (NUL,
// lone CR, lone LF and 0x80-0xFF included).
//
// What the user adds follows the file's rules: Enter inserts CR LF, typed and
// pasted characters are converted through the program's code page (a typed
// euro sign becomes byte 0x80), pasted line ends become CR LF, and a character
// the code page cannot hold is refused with a beep and a short notice instead
// of being replaced. Copied text goes out through the same code page.
//
// Only the first 64 KiB of a line longer than that are shown (the widget would
// measure every character of the line to show any part of it); the hidden
// bytes stay in the text as they are, and edits keep the rule. The caret stays
// within the shown part: keys, clicks and selections that would put it into
// the hidden part stop at the end of the shown part (the cut), and typing or
// deleting at the cut, which would change bytes the user cannot see, is
// refused with a notice.
//
// Large files load through Scintilla's document loader into a document
// without style bytes (unless long lines need them), in the 8-bit code page from the start, without undo
// history. A file is read into the loader on a worker thread, so that the
// window answers while it reads; a cancelled load frees what it built there.
class ByteTextEdit : public QsciScintilla {
    Q_OBJECT
public:
    explicit ByteTextEdit(QWidget *parent = nullptr);
    ~ByteTextEdit() override;

    // Told how many bytes have been loaded so far; false stops the load.
    using Progress = std::function<bool(qint64 bytesLoaded)>;
    // Replaces the text with the file's bytes. On failure (or when `progress`
    // stops it) the text stays as it was and `error` says why. `progress` is
    // called every few tens of milliseconds while the file is read, also
    // while no byte comes in, so that it can let the user's events through;
    // the first half of its count is the room for the text being made.
    bool loadFile(const QString &path, FileError *error, const Progress &progress = {});
    // Replaces the text with `bytes`; the undo history starts afresh.
    void setBytes(QByteArrayView bytes);
    // The whole text. The view is valid until the text next changes.
    QByteArrayView bytes();

    qsizetype selectionStartOffset() const;
    qsizetype selectionLength() const;
    // Selects `length` bytes from `start` (the caret ends the selection) and
    // scrolls them into view; the focus stays where it is. A selection in the
    // hidden part of a long line shows as the caret at its cut, while
    // selectionStartOffset() still gives `start`, so that a search goes on
    // from there.
    void selectBytes(qsizetype start, qsizetype length);
    // Puts the caret at `offset` with nothing selected.
    void placeCaret(qsizetype offset);

    // Whether the text differs from what was last loaded or marked saved
    // (Scintilla's save point: undoing back to it counts as no change).
    bool changedSinceSave() const;
    void markSaved();
    // The text holds lines whose tails are hidden by their style; a lexer
    // would show them again.
    bool hidesTails() const { return m_hidesTails; }

    // How the text's characters are written: UTF-8 in a text that begins with
    // its byte-order mark, else the code page. Typed, pasted and copied text
    // follows it, and so does what the widget shows.
    ini::Encoding encoding() const { return m_encoding; }

    // The notice shown when typed or pasted text was refused (for tests).
    QString lastRefusal() const { return m_lastRefusal; }

public Q_SLOTS:
    void paste() override;
    void undo() override;
    void redo() override;
    void cut() override;
    void removeSelectedText() override;
    // Through the code page, as typed text is.
    void replaceSelectedText(const QString &text) override;

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

Q_SIGNALS:
    // A typed or pasted character that the code page cannot hold was refused.
    void inputRefused(const QString &notice);
    // A load replaced the document (and with it the lexer's state).
    void documentReplaced();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    QByteArray fromMimeData(const QMimeData *source, bool &rectangular) const override;
    QMimeData *toMimeData(const QByteArray &text, bool rectangular) const override;

private:
    void dropLineCommands();
    void applyDocumentSettings();
    void noteEdit(qsizetype position, qsizetype inserted, qsizetype removed);
    void publishEdits();
    void afterInput();
    // The end of the shown part of the long line that holds `position`, or -1
    // when that line is shown whole.
    qsizetype cutOfLineAt(qsizetype position) const;
    void keepSelectionShown();
    bool refusedAtCut(qsizetype position);
    class Fill;
    struct Reading;
    static void readFile(Reading *reading, int fd, qint64 size, const ByteTextEdit *edit);
    void joinEndedWorkers(bool all);
    bool copyIntoStyledDocument();
    void hideTails(const QList<longlines::Tail> &tails, bool styled);
    void setStyle(qsizetype start, qsizetype length, int style);
    void restyleEditedLines(qsizetype position, qsizetype insertedLength);
    bool insertTyped(const QString &text);
    void replaceSelection(const QByteArray &bytes);
    void pasteFrom(QClipboard::Mode mode);
    bool isSelectionPaste(const QMouseEvent *event) const;
    void refuse(const QString &text, qsizetype position) const;
    codepage::Encoded encodeText(const QString &text) const;

    // The document QsciScintilla created with the widget. Loaded documents
    // replace it in the view; it is kept alive and put back on destruction,
    // because QsciScintilla releases the document it knows of, not ours.
    void *m_ownDocument = nullptr;
    // The document has long lines and style bytes that hide their tails.
    bool m_hidesTails = false;
    long m_caretPeriod = 0; // the widget's own blink period, for other documents
    mutable QString m_lastRefusal;
    ini::Encoding m_encoding = ini::Encoding::Ansi;
    long m_boxHiddenAt = -1; // see codepageglyphs::hideBoxBeforeCaret

    // Edits made since they were last announced (textChanged, linesChanged),
    // and the range of the text they touched, for restyling long lines.
    bool m_editsPending = false;
    bool m_publishQueued = false;
    qsizetype m_editedFrom = 0;
    qsizetype m_editedTo = 0;
    long m_lineCount = 1;
    // The last selection asked for by selectBytes(), while it is shown.
    qsizetype m_askedStart = -1;
    // Worker threads of loads, with what each shares with this thread; those
    // of cancelled loads may still be freeing what they built.
    struct Worker {
        std::shared_ptr<Reading> reading;
        std::thread thread;
    };
    std::vector<Worker> m_workers;
};

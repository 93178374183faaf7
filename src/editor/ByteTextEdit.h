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
#include <optional>
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
// measure every character of the line to show any part of it): the widget's
// document holds that head, and the rest of the line, its tail, is kept aside
// unchanged and put back wherever the whole text is read (bytes(), copy). Byte
// offsets of the whole text and positions in the widget are mapped at the few
// calls that take or give offsets. The caret stays within the shown part: the
// end of a cut line's head is its cut; typing there, deleting across it or
// joining the next line to it, which would change bytes the user cannot see
// or show them where they are not, is refused with a notice.
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
    // Once the file is read, `verdict` (when given) decides whether the text
    // is taken: true takes it, false drops it (as a cancel does), none keeps
    // the read text waiting while `progress` is told as before.
    using Verdict = std::function<std::optional<bool>()>;
    bool loadFile(
        const QString &path, FileError *error, const Progress &progress = {}, const Verdict &verdict = {});
    // Replaces the text with `bytes`; the undo history starts afresh.
    void setBytes(QByteArrayView bytes);
    // The whole text. The view is valid until the text next changes.
    QByteArrayView bytes();
    // The text as the widget holds it: cut lines without their tails. The
    // widget's positions index it.
    QByteArrayView shownBytes() const;
    // The whole text as pieces one after the other, without joining them.
    QList<QByteArrayView> pieces() const;
    // The widget's position of the byte at `offset` of the whole text (a byte
    // of a hidden tail shows at its line's cut), and back.
    qsizetype positionOf(qsizetype offset) const;
    qsizetype offsetAt(qsizetype position) const;

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
    // The text holds lines whose tails are kept out of the widget.
    bool hidesTails() const { return !m_cuts.empty(); }

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
    void contextMenuEvent(QContextMenuEvent *event) override;
    QByteArray fromMimeData(const QMimeData *source, bool &rectangular) const override;
    QMimeData *toMimeData(const QByteArray &text, bool rectangular) const override;

private:
    void dropLineCommands();
    void applyDocumentSettings();
    void noteEdit(qsizetype position, qsizetype inserted, qsizetype removed);
    void publishEdits();
    void afterInput();
    // The cut of the line that holds `position`, or -1 when that line is
    // shown whole.
    qsizetype cutOfLineAt(qsizetype position) const;
    // Whether an edit of [from, to) (an insertion at `from` when empty) would
    // change a hidden tail or move shown bytes behind one; if so it is
    // refused with a notice.
    bool refusedAtCut(qsizetype from, qsizetype to);
    bool keyRefusedAtCut(const QKeyEvent *event);
    bool selectionCoversCut();
    void moveCuts(qsizetype position, qsizetype inserted, qsizetype removed);
    void restoreCuts(qsizetype position, qsizetype length);
    class Feed;
    class Fill;
    struct Reading;
    static void readFile(Reading *reading, int fd, qint64 size, const ByteTextEdit *edit);
    void joinEndedWorkers(bool all);
    void showCuts();
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
    // The lines whose tails are kept aside, in text order: `at` is the
    // widget's position of the cut (the end of the line's head), the tail's
    // bytes are m_store[from, from + length).
    struct Cut {
        qsizetype at = 0;
        qsizetype from = 0;
        qsizetype length = 0;
    };
    QList<Cut> m_cuts;
    QByteArray m_store;
    // m_store holds the whole text as bytes() gives it: no edit since it was
    // put together.
    bool m_storeIsWhole = false;
    // The deletions made since the load, latest last, each with the tails it
    // took (at their places in what it deleted), until it is undone. Kept
    // for texts loaded with long lines only.
    struct Removal {
        qsizetype position = 0;
        qsizetype length = 0;
        QList<Cut> cuts; // `at` from `position`, `from` within `tails`
        QByteArray tails;
    };
    QList<Removal> m_removals;
    bool m_tracksRemovals = false;
    long m_caretPeriod = 0; // the widget's own blink period, for other documents
    mutable QString m_lastRefusal;
    ini::Encoding m_encoding = ini::Encoding::Ansi;
    long m_boxHiddenAt = -1; // see codepageglyphs::hideBoxBeforeCaret

    // Edits made since they were last announced (textChanged, linesChanged).
    bool m_editsPending = false;
    bool m_publishQueued = false;
    long m_lineCount = 1;
    // The offset of the last selection asked for by selectBytes(), while it is shown.
    qsizetype m_askedStart = -1;
    // Worker threads of loads, with what each shares with this thread; those
    // of cancelled loads may still be freeing what they built.
    struct Worker {
        std::shared_ptr<Reading> reading;
        std::thread thread;
    };
    std::vector<Worker> m_workers;
};

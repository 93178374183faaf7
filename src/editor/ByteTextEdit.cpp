#include "editor/ByteTextEdit.h"

#include "core/CodePage.h"
#include "core/LineEnds.h"
#include "core/LongLines.h"
#include "editor/BackgroundWork.h"
#include "editor/ByteTextAccessible.h"
#include "editor/CodePageGlyphs.h"
#include "editor/ScintillaLoader.h"
#include "fileio/FileRead.h"
#include "platform/ClassicLook.h"
#include "platform/HugePages.h"
#include "platform/KeyboardAids.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QToolTip>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kChunk = 4 * 1024 * 1024;
constexpr qint64 kHeadroom = 64 * 1024;
// How often a read text waiting for its verdict asks again.
constexpr int kVerdictPollMs = 5;

// Laying out a line measures every one of its characters, at about a
// microsecond each, and the widget does it for a whole line whenever it shows
// any part of it. So only the first bytes of a very long line are shown (more
// than a screen can hold); its other bytes are kept out of the widget, so that
// nothing measures, styles or indexes them.
constexpr qsizetype kShownOfLongLine = 64 * 1024;

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isPrintable(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() != 0x7F;
    });
}

} // namespace

ByteTextEdit::ByteTextEdit(QWidget *parent) : QsciScintilla(parent)
{
    // Keep the widget's own document alive while loaded documents replace it.
    m_ownDocument = SendScintillaPtrResult(SCI_GETDOCPOINTER);
    m_caretPeriod = SendScintilla(SCI_GETCARETPERIOD);
    SendScintilla(SCI_ADDREFDOCUMENT, 0UL, m_ownDocument);

    setFont(classiclook::dialogFont());
    applyDocumentSettings();
    for (int margin = 0; margin < 5; ++margin)
        setMarginWidth(margin, 0);
    setWrapMode(WrapNone);
    SendScintilla(SCI_SETHSCROLLBAR, 0UL);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setCaretLineVisible(false);
    // The search selects a key line while the focus stays on a list or a
    // button: keep the selection in the highlight colours then, too.
    setSelectionBackgroundColor(palette().color(QPalette::Active, QPalette::Highlight));
    setSelectionForegroundColor(palette().color(QPalette::Active, QPalette::HighlightedText));

    dropLineCommands();

    ByteTextAccessible::install();
    // The widget reports every insertion and deletion to the accessibility
    // layer together with the number of characters before it, which it counts
    // from the start of the text each time: a key at the end of a 100 MB text
    // cost 400 ms. It does so only for the changes it passes on, so the text
    // area asks for the announcements made just before a change instead (the
    // same position and length) and tells its listeners once the change is
    // done (publishEdits).
    // A change is passed on when any bit of its type is in the mask, and the
    // bits that say who made it (the user, undo, redo) come with the
    // insertions and deletions too: they go as well.
    constexpr long kAfterChange = SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT | SC_PERFORMED_USER
        | SC_PERFORMED_UNDO | SC_PERFORMED_REDO | SC_MULTISTEPUNDOREDO | SC_LASTSTEPINUNDOREDO
        | SC_MULTILINEUNDOREDO | SC_STARTACTION;
    SendScintilla(
        SCI_SETMODEVENTMASK, static_cast<unsigned long>(SendScintilla(SCI_GETMODEVENTMASK) & ~kAfterChange));
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
        [this](int position, int type, const char *, int length) {
            if (type & SC_MOD_BEFOREINSERT) {
                noteEdit(position, length, 0);
                if (type & SC_PERFORMED_UNDO)
                    restoreCuts(position, length);
            } else if (type & SC_MOD_BEFOREDELETE) {
                noteEdit(position, 0, length);
            }
        });
}

// Told just before each change of the widget's text.
void ByteTextEdit::noteEdit(qsizetype position, qsizetype inserted, qsizetype removed)
{
    m_editsPending = true;
    moveCuts(position, inserted, removed);
    // Edits that no input event of this widget brought (a call from
    // elsewhere) are announced once control is back in the event loop.
    if (!m_publishQueued) {
        m_publishQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_publishQueued = false;
                publishEdits();
            },
            Qt::QueuedConnection);
    }
}

void ByteTextEdit::publishEdits()
{
    if (!m_editsPending)
        return;
    m_editsPending = false;
    Q_EMIT textChanged();
    const long lines = SendScintilla(SCI_GETLINECOUNT);
    if (lines != m_lineCount) {
        m_lineCount = lines;
        Q_EMIT linesChanged();
    }
}

// After every event the widget handled (a key, a click, a drop, a menu
// command): the edits it made are announced.
void ByteTextEdit::afterInput()
{
    publishEdits();
}

bool ByteTextEdit::event(QEvent *event)
{
    const bool handled = QsciScintilla::event(event);
    afterInput();
    return handled;
}

bool ByteTextEdit::viewportEvent(QEvent *event)
{
    const bool handled = QsciScintilla::viewportEvent(event);
    afterInput();
    return handled;
}

void ByteTextEdit::undo()
{
    QsciScintilla::undo();
    afterInput();
}

void ByteTextEdit::redo()
{
    QsciScintilla::redo();
    afterInput();
}

void ByteTextEdit::cut()
{
    if (!selectionCoversCut())
        QsciScintilla::cut();
    afterInput();
}

void ByteTextEdit::removeSelectedText()
{
    if (!selectionCoversCut())
        QsciScintilla::removeSelectedText();
    afterInput();
}

bool ByteTextEdit::selectionCoversCut()
{
    const qsizetype start = SendScintilla(SCI_GETSELECTIONSTART);
    const qsizetype end = SendScintilla(SCI_GETSELECTIONEND);
    return start != end && refusedAtCut(start, end);
}

void ByteTextEdit::replaceSelectedText(const QString &text)
{
    insertTyped(text);
    afterInput();
}

qsizetype ByteTextEdit::cutOfLineAt(qsizetype position) const
{
    if (m_cuts.isEmpty())
        return -1;
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    const qsizetype end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    const auto cut = std::lower_bound(
        m_cuts.begin(), m_cuts.end(), end, [](const Cut &c, qsizetype at) { return c.at < at; });
    return cut != m_cuts.end() && cut->at == end ? end : -1;
}

// A deletion that reaches over a cut takes hidden bytes with it; one that
// starts at a cut joins the next line behind the hidden part, where it is not
// shown; an insertion at a cut would go unseen before the hidden part.
bool ByteTextEdit::refusedAtCut(qsizetype from, qsizetype to)
{
    const auto cut = std::lower_bound(
        m_cuts.begin(), m_cuts.end(), from, [](const Cut &c, qsizetype at) { return c.at < at; });
    if (cut == m_cuts.end() || !(cut->at < to || (from == to && cut->at == from)))
        return false;
    m_lastRefusal = tr("This line is longer than the editor shows; its hidden part, after the caret, "
                       "cannot be changed here.");
    QApplication::beep();
    const QPoint at(SendScintilla(SCI_POINTXFROMPOSITION, 0UL, static_cast<long>(cut->at)),
        SendScintilla(SCI_POINTYFROMPOSITION, 0UL, static_cast<long>(cut->at)));
    QToolTip::showText(viewport()->mapToGlobal(at), m_lastRefusal, this);
    Q_EMIT inputRefused(m_lastRefusal);
    return true;
}

// The widget's own editing keys (Delete, Backspace, Enter, cut, the word
// deletions) on the range each would change. Deleting to a line's start or
// end never reaches over a cut.
bool ByteTextEdit::keyRefusedAtCut(const QKeyEvent *event)
{
    if (m_cuts.isEmpty())
        return false;
    const int modifiers = (event->modifiers()
        & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
                              .toInt();
    const QsciCommand *command = standardCommands()->boundTo(event->key() | modifiers);
    if (!command)
        return false;
    using C = QsciCommand;
    const C::Command what = command->command();
    const qsizetype start = SendScintilla(SCI_GETSELECTIONSTART);
    const qsizetype end = SendScintilla(SCI_GETSELECTIONEND);
    const qsizetype caret = SendScintilla(SCI_GETCURRENTPOS);
    const auto blanks = [this](qsizetype from, qsizetype to) {
        const auto *text = reinterpret_cast<const char *>(SendScintilla(
            SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), static_cast<long>(to - from)));
        return std::all_of(text, text + (to - from), [](char c) { return c == ' ' || c == '\t'; });
    };
    // The word deletions work from the caret whatever is selected.
    switch (what) {
    case C::Newline:
    case C::Formfeed:
        return refusedAtCut(start, end);
    case C::SelectionCut:
        return start != end && refusedAtCut(start, end);
    case C::Delete:
        return start != end ? refusedAtCut(start, end) : refusedAtCut(caret, caret + 1);
    case C::DeleteBack: {
        if (start != end)
            return refusedAtCut(start, end);
        const qsizetype before = SendScintilla(SCI_POSITIONBEFORE, static_cast<unsigned long>(caret));
        return before < caret && refusedAtCut(before, caret);
    }
    case C::DeleteWordRight:
        // It runs over line ends only from a line end.
        return refusedAtCut(caret, caret + 1);
    case C::DeleteWordRightEnd: {
        // It runs over blanks, and from there over line ends.
        const qsizetype cut = cutOfLineAt(caret);
        return cut >= 0 && blanks(caret, cut) && refusedAtCut(caret, cut + 1);
    }
    case C::DeleteWordLeft: {
        // It runs back over blanks, and from there over line ends.
        const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
        const qsizetype lineStart = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
        qsizetype from = lineStart;
        while (from > 0
            && isLineEnd(
                static_cast<char>(SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(from - 1)))))
            --from;
        return from < lineStart && blanks(lineStart, caret) && refusedAtCut(from, caret);
    }
    default:
        return false;
    }
}

// The cuts move with the text before them. A deletion over a cut has taken
// its hidden bytes too (the text area refuses that; calls from elsewhere may
// do it).
void ByteTextEdit::moveCuts(qsizetype position, qsizetype inserted, qsizetype removed)
{
    if (m_cuts.isEmpty() && !m_tracksRemovals)
        return;
    m_storeIsWhole = false;
    const qsizetype end = position + removed;
    Removal removal;
    m_cuts.removeIf([&](const Cut &cut) {
        if (cut.at <= position || cut.at >= end)
            return false;
        removal.cuts.append({ cut.at - position, removal.tails.size(), cut.length });
        removal.tails += QByteArrayView(m_store).sliced(cut.from, cut.length);
        return true;
    });
    // Every deletion is noted, in the order of the undo history, so that its
    // undo (which inserts what it deleted) finds its own note; only undo
    // inserts, and the file's load empties the history.
    if (removed > 0 && m_tracksRemovals) {
        removal.position = position;
        removal.length = removed;
        m_removals.append(std::move(removal));
    }
    for (Cut &cut : m_cuts) {
        if (removed > 0 && cut.at >= end)
            cut.at -= removed;
        else if (inserted > 0 && cut.at >= position)
            cut.at += inserted;
    }
    if (m_cuts.isEmpty())
        m_store.clear();
}

// Undoing a deletion that took hidden tails (a selection dragged out to
// another program, say) puts them back with the bytes around them.
void ByteTextEdit::restoreCuts(qsizetype position, qsizetype length)
{
    if (m_removals.isEmpty())
        return;
    const Removal removal = m_removals.takeLast();
    if (removal.position != position || removal.length != length) {
        // Not the deletion this undoes: the notes no longer follow the history.
        m_removals.clear();
        return;
    }
    for (const Cut &cut : removal.cuts) {
        const Cut back { position + cut.at, m_store.size(), cut.length };
        m_store += QByteArrayView(removal.tails).sliced(cut.from, cut.length);
        m_cuts.insert(std::lower_bound(m_cuts.begin(), m_cuts.end(), back.at,
                          [](const Cut &c, qsizetype at) { return c.at < at; }),
            back);
    }
    m_storeIsWhole = false;
}

ByteTextEdit::~ByteTextEdit()
{
    // A worker may still be making or freeing a document: it ends soon.
    joinEndedWorkers(true);
    // Hand QsciScintilla back the document it created: it releases that one.
    SendScintilla(SCI_SETDOCPOINTER, 0UL, m_ownDocument);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, m_ownDocument);
}

// The widget binds Ctrl+D, Ctrl+T, Ctrl+U, Ctrl+L and the like to commands
// that duplicate, swap, cut, delete or re-case whole lines: a slip of the
// finger on the line the key search selected would change it unseen. The
// editing keys of any text field (cut, copy, paste, undo, redo, select all,
// deleting words) stay.
void ByteTextEdit::dropLineCommands()
{
    static const QsciCommand::Command changesLines[] = { QsciCommand::LineDelete, QsciCommand::LineCut,
        QsciCommand::LineTranspose, QsciCommand::LineDuplicate, QsciCommand::MoveSelectedLinesUp,
        QsciCommand::MoveSelectedLinesDown, QsciCommand::SelectionDuplicate, QsciCommand::SelectionLowerCase,
        QsciCommand::SelectionUpperCase, QsciCommand::ReverseLines };
    for (const QsciCommand::Command command : changesLines) {
        if (QsciCommand *bound = standardCommands()->find(command)) {
            bound->setKey(0);
            bound->setAlternateKey(0);
        }
    }
}

void ByteTextEdit::applyDocumentSettings()
{
    // 8-bit mode: a document position is a byte offset and bytes stay bytes.
    setUtf8(false);
    SendScintilla(SCI_SETCODEPAGE, 0UL);
    setEolMode(EolWindows);
    setEolVisibility(false);
    // A text that begins with a UTF-8 byte-order mark is shown as UTF-8 (its
    // bytes stay as they are; the widget shows a byte that is no UTF-8 by its
    // value). Switching a filled document re-reads its text, so only those do.
    m_encoding = ini::encodingOf(shownBytes());
    m_boxHiddenAt = -1; // a fresh document has no indicators
    if (m_encoding == ini::Encoding::Utf8)
        SendScintilla(SCI_SETCODEPAGE, static_cast<unsigned long>(SC_CP_UTF8));
    // Changing the code page resets the representations, so set them after it.
    // The widget has no glyphs for 0x80-0x9F: they are laid out as stand-ins
    // and drawn as the code page's characters after each paint.
    codepageglyphs::setUp(this);
}

void ByteTextEdit::paintEvent(QPaintEvent *event)
{
    codepageglyphs::hideBoxBeforeCaret(this, &m_boxHiddenAt);
    QsciScintilla::paintEvent(event);
    if (m_encoding != ini::Encoding::Ansi)
        return;
    QPainter painter(viewport());
    codepageglyphs::paint(this, painter);
}

codepage::Encoded ByteTextEdit::encodeText(const QString &text) const
{
    return ini::encode(text, m_encoding);
}

// Loading fills a fresh document while no view shows it: Scintilla's document
// loader appends without undo history, without style bytes, and without a
// view to notify. The tails of long lines are kept aside on the way, so the
// document never holds them. The loader makes a UTF-8 document,
// and switching a filled document to the 8-bit code page re-reads all of its
// text, so the empty document is shown once to take its settings first.
// Cuts the text as it comes, in pieces of any size, into what the document
// shows and the tails of long lines, which it keeps aside; the shown parts go
// to the document's loader. It may run on a load's worker thread: it touches
// no view.
class ByteTextEdit::Feed {
public:
    explicit Feed(qint64 expected) : m_cutter(kShownOfLongLine), m_expected(std::max<qint64>(expected, 0)) { }

    QList<longlines::Part> cut(QByteArrayView piece) { return m_cutter.feed(piece); }
    // The room the document gets, from what the first piece (`parts` of
    // `length` bytes) says will be shown of the whole: all of an ordinary
    // file, a little of one that is a long line.
    qint64 room(const QList<longlines::Part> &parts, qsizetype length) const
    {
        qint64 shown = 0;
        for (const longlines::Part &part : parts)
            shown += part.hidden ? 0 : part.bytes.size();
        return std::max(shown, length > 0 ? m_expected * shown / length : 0);
    }
    // False when the document has no room left for the shown parts.
    bool add(ILoader *loader, const QList<longlines::Part> &parts, QByteArrayView piece)
    {
        bool ok = true;
        const auto fed = qScopeGuard([&] { m_fed += piece.size(); });
        for (const longlines::Part &part : parts) {
            if (!part.hidden) {
                if (loader->AddData(part.bytes.data(), static_cast<ptrdiff_t>(part.bytes.size()))
                    != SC_STATUS_OK)
                    ok = false;
                m_shown += part.bytes.size();
                continue;
            }
            // A tail goes on in the next piece; it ends with its line.
            if (cuts.isEmpty() || cuts.last().at != m_shown) {
                cuts.append({ m_shown, store.size(), 0 });
                // Room for the rest of the text at most, so that the store is
                // never moved as it grows; pages it does not fill are never
                // touched, so they cost no memory.
                const qint64 rest = m_expected - m_fed + (piece.data() + piece.size() - part.bytes.data());
                if (store.capacity() - store.size() < rest)
                    store.reserve(store.size() + rest);
            }
            store.append(part.bytes);
            cuts.last().length += part.bytes.size();
        }
        return ok;
    }

    // The tails, taken by the text area once the load is committed.
    QList<Cut> cuts;
    QByteArray store;

private:
    longlines::Cutter m_cutter;
    qint64 m_expected; // the text's size, as far as known beforehand
    qint64 m_fed = 0; // bytes added so far
    qsizetype m_shown = 0; // bytes given to the document
};

namespace {

// Room for the text and a little more: a buffer that the last piece would
// fill exactly is reallocated (and copied) at that moment. The loader is made
// in one call that clears all of that room, so room the text will not use
// costs memory.
ILoader *createLoader(const QsciScintillaBase *edit, qint64 room)
{
    try {
        return reinterpret_cast<ILoader *>(edit->SendScintilla(QsciScintillaBase::SCI_CREATELOADER,
            static_cast<unsigned long>(std::max<qint64>(room, 0) + kHeadroom),
            static_cast<long>(QsciScintillaBase::SC_DOCUMENTOPTION_STYLES_NONE)));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

} // namespace

// Loading fills a fresh document while no view shows it: Scintilla's document
// loader appends without undo history, without style bytes, and without a
// view to notify. The tails of long lines are kept aside on the way, so the
// document never holds them. The loader makes a UTF-8 document,
// and switching a filled document to the 8-bit code page re-reads all of its
// text, so the empty document is shown once to take its settings first.
class ByteTextEdit::Fill {
public:
    Fill(ByteTextEdit *edit, qint64 bytes) : m_edit(edit), m_feed(bytes)
    {
        m_previous = m_edit->SendScintillaPtrResult(SCI_GETDOCPOINTER);
        m_encoding = m_edit->m_encoding;
        m_edit->SendScintilla(SCI_ADDREFDOCUMENT, 0UL, m_previous);
        // Showing another document resets the selection; a failed load puts it back.
        m_anchor = m_edit->SendScintilla(SCI_GETANCHOR);
        m_caret = m_edit->SendScintilla(SCI_GETCURRENTPOS);
        m_firstLine = m_edit->SendScintilla(SCI_GETFIRSTVISIBLELINE);
    }
    ~Fill()
    {
        // Not committed: the view keeps its old text, the new one goes.
        if (m_loader) {
            if (m_owned)
                m_loader->Release();
            m_edit->SendScintilla(SCI_SETSEL, static_cast<unsigned long>(m_anchor), m_caret);
            m_edit->SendScintilla(SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(m_firstLine));
            m_edit->m_encoding = m_encoding;
        }
        m_edit->SendScintilla(SCI_RELEASEDOCUMENT, 0UL, m_previous);
    }
    Fill(const Fill &) = delete;
    Fill &operator=(const Fill &) = delete;

    // Takes `loader` (null when it could not be made) and gives its empty
    // document the view's settings. A loader a worker thread made and fills
    // stays the worker's to release until adopt().
    bool start(ILoader *loader, bool owned)
    {
        m_loader = loader;
        m_owned = owned;
        if (!m_loader) {
            m_ok = false;
            return false;
        }
        m_document = m_loader->ConvertToDocument();
        m_edit->SendScintilla(SCI_SETDOCPOINTER, 0UL, m_document);
        m_edit->applyDocumentSettings();
        m_edit->SendScintilla(SCI_SETDOCPOINTER, 0UL, m_previous);
        return true;
    }
    bool ok() const { return m_ok; }
    // Fills from this thread.
    void add(const char *data, qsizetype length)
    {
        if (!m_ok)
            return;
        const QByteArrayView piece(data, length);
        const QList<longlines::Part> parts = m_feed.cut(piece);
        if (!m_loader && !start(createLoader(m_edit, m_feed.room(parts, length)), true))
            return;
        if (!m_feed.add(m_loader, parts, piece))
            m_ok = false;
    }
    // The loader is this thread's from now on.
    void adopt() { m_owned = true; }
    // `feed`: what filled the document, when a worker did.
    bool commit(Feed *feed = nullptr)
    {
        if (!m_loader && !start(createLoader(m_edit, 0), true))
            return false;
        if (!feed)
            feed = &m_feed;
        m_edit->SendScintilla(SCI_SETDOCPOINTER, 0UL, m_document);
        if (m_owned)
            m_loader->Release(); // the view holds the document now
        m_loader = nullptr;
        m_edit->m_cuts = std::move(feed->cuts);
        m_edit->m_store = std::move(feed->store);
        m_edit->m_storeIsWhole = false;
        m_edit->m_removals.clear();
        m_edit->m_tracksRemovals = !m_edit->m_cuts.isEmpty();
        m_edit->applyDocumentSettings();
        m_edit->showCuts();
        m_edit->SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
        m_edit->SendScintilla(SCI_EMPTYUNDOBUFFER);
        m_edit->SendScintilla(SCI_SETSAVEPOINT);
        m_edit->SendScintilla(SCI_GOTOPOS, 0UL);
        // The load is no edit: nothing to announce, and the count starts here.
        m_edit->m_editsPending = false;
        m_edit->m_lineCount = m_edit->SendScintilla(SCI_GETLINECOUNT);
        m_edit->m_askedStart = -1;
        Q_EMIT m_edit->documentReplaced();
        return true;
    }

private:
    ByteTextEdit *m_edit;
    Feed m_feed;
    bool m_owned = true;
    void *m_previous = nullptr;
    ILoader *m_loader = nullptr;
    void *m_document = nullptr;
    bool m_ok = true;
    long m_anchor = 0;
    long m_caret = 0;
    long m_firstLine = 0;
    ini::Encoding m_encoding = ini::Encoding::Ansi;
};

// What a load's worker thread and the GUI thread share. The worker reads the
// first piece (which tells how much room the document needs), makes the
// loader (one long step for a large file: all of its room is allocated and
// cleared at once), waits for the GUI thread to give the empty document the
// view's settings, reads the file into it, and then waits for the verdict:
// the GUI thread takes the loader, or abandons it, and then the worker
// releases it, so that freeing a large text never holds up the window.
struct ByteTextEdit::Reading {
    explicit Reading(qint64 size) : feed(size) { }

    std::mutex mutex;
    std::condition_variable changed;
    // From the worker.
    bool created = false; // the loader was made, or could not be (null)
    ILoader *loader = nullptr;
    bool filled = false; // every byte is in, or the read failed
    FileError error; // why it failed: kind System with errnum 0 while it has not
    bool failed = false;
    bool exited = false;
    std::atomic<qint64> prepared = 0; // of the room for the text, cleared (in the file's bytes)
    std::atomic<qint64> read = 0;
    Feed feed; // the worker's until filled
    // From the GUI thread.
    bool settingsApplied = false;
    bool taken = false;
    std::atomic<bool> abandoned = false;

    void abandon()
    {
        const std::lock_guard lock(mutex);
        abandoned = true;
        changed.notify_all();
    }
};

void ByteTextEdit::readFile(Reading *reading, int fd, qint64 size, const ByteTextEdit *edit)
{
    Reading &r = *reading;
    FileError error;
    bool failed = false;
    std::vector<char> chunk(static_cast<size_t>(std::min<qint64>(kChunk, std::max<qint64>(size, 1))));
    qint64 offset = 0;
    const auto readPiece = [&] {
        const qint64 got = filebytes::readAt(fd, offset, chunk.data(), qint64(chunk.size()), &error);
        failed = got < 0;
        offset += std::max<qint64>(got, 0);
        return got;
    };
    // The first piece tells how much of the text the document will hold.
    qint64 n = readPiece();
    QList<longlines::Part> parts;
    if (n > 0)
        parts = r.feed.cut(QByteArrayView(chunk.data(), n));
    const qint64 room = n > 0 ? r.feed.room(parts, n) : 0;
    // Scintilla's loader is meant to be filled away from the view: making one
    // only creates a document, and its AddData touches no view. Making it
    // allocates and clears room for the whole text in one call, which for a
    // large file takes about as long as reading it: its pages count for half
    // of the progress.
    ILoader *loader = nullptr;
    if (!failed) {
        const hugepages::ReportTouching report([&r, size, room](std::size_t done, std::size_t) {
            r.prepared = std::min<qint64>(room > 0 ? qint64(done) * size / room : size, size);
        });
        loader = createLoader(edit, room);
    }
    r.prepared = size;
    std::unique_lock lock(r.mutex);
    r.created = true;
    r.loader = loader;
    if (!loader && !failed) {
        failed = true;
        error = { FileError::Kind::System, ENOMEM, QStringLiteral("Not enough memory") };
    }
    r.failed = failed;
    r.error = error;
    r.changed.notify_all();
    if (loader) {
        r.changed.wait(lock, [&] { return r.settingsApplied || r.abandoned; });
        lock.unlock();
        while (!r.abandoned && n > 0) {
            if (!r.feed.add(loader, parts, QByteArrayView(chunk.data(), n))) {
                error = { FileError::Kind::System, ENOMEM, QStringLiteral("Not enough memory") };
                failed = true;
                break;
            }
            r.read += n;
            n = readPiece();
            if (n > 0)
                parts = r.feed.cut(QByteArrayView(chunk.data(), n));
        }
        std::vector<char>().swap(chunk);
        lock.lock();
        r.failed = failed;
        r.error = error;
        r.filled = true;
        r.changed.notify_all();
        r.changed.wait(lock, [&] { return r.taken || r.abandoned; });
        if (!r.taken) {
            lock.unlock();
            loader->Release();
            // The tails go with the text, on this thread too.
            r.feed = Feed(0);
            lock.lock();
        }
    } else {
        r.filled = true;
    }
    ::close(fd);
    r.exited = true;
    r.changed.notify_all();
}

void ByteTextEdit::joinEndedWorkers(bool all)
{
    std::erase_if(m_workers, [all](Worker &worker) {
        {
            const std::lock_guard lock(worker.reading->mutex);
            if (!all && !worker.reading->exited)
                return false;
        }
        worker.thread.join();
        return true;
    });
}

bool ByteTextEdit::loadFile(
    const QString &path, FileError *error, const Progress &progress, const Verdict &verdict)
{
    // Only a regular file: a FIFO or a device would block the open or never end.
    const int fd = filebytes::openRegular(path, error);
    if (fd < 0)
        return false;
    struct stat status { };
    if (::fstat(fd, &status) != 0) {
        *error = FileError::system(errno);
        ::close(fd);
        return false;
    }
    joinEndedWorkers(false);
    const auto reading = std::make_shared<Reading>(qint64(status.st_size));
    // The worker owns the file from here on.
    m_workers.push_back({ reading, std::thread(readFile, reading.get(), fd, qint64(status.st_size), this) });
    // Any way out that does not take the text leaves it to the worker to free.
    auto abandon = qScopeGuard([&reading] { reading->abandon(); });
    std::optional<Fill> fill;
    const auto cancelled = [error] {
        *error = { FileError::Kind::Cancelled, 0, QStringLiteral("Cancelled") };
        return false;
    };
    std::unique_lock lock(reading->mutex);
    for (;;) {
        reading->changed.wait_for(lock, std::chrono::milliseconds(backgroundwork::kPollMs),
            [&] { return (reading->created && !fill) || reading->filled; });
        if (reading->created && !fill) {
            if (!reading->loader)
                break;
            lock.unlock();
            fill.emplace(this, 0);
            fill->start(reading->loader, false);
            lock.lock();
            reading->settingsApplied = true;
            reading->changed.notify_all();
            continue;
        }
        if (reading->filled)
            break;
        // The user's events (Cancel among them) are heard between the waits.
        const qint64 bytesIn = (reading->prepared + reading->read) / 2;
        lock.unlock();
        const bool goOn = !progress || progress(bytesIn);
        lock.lock();
        if (!goOn)
            return cancelled();
    }
    if (reading->failed) {
        *error = reading->error;
        return false;
    }
    const qint64 bytesIn = (reading->prepared + reading->read) / 2;
    lock.unlock();
    for (;;) {
        if (progress && !progress(bytesIn))
            return cancelled();
        const std::optional<bool> take = verdict ? verdict() : true;
        if (take == false)
            return cancelled();
        if (take == true)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kVerdictPollMs));
    }
    lock.lock();
    reading->taken = true;
    reading->changed.notify_all();
    lock.unlock();
    abandon.dismiss();
    fill->adopt();
    return fill->commit(&reading->feed);
}

void ByteTextEdit::showCuts()
{
    const bool cut = !m_cuts.isEmpty();
    // A long line stays in the layout cache while it is on screen, so that
    // drawing another line does not lay it out again.
    SendScintilla(SCI_SETLAYOUTCACHE, static_cast<unsigned long>(cut ? SC_CACHE_PAGE : SC_CACHE_CARET));
    // Drawing a long line walks all of its shown bytes, so a blinking caret in
    // it would keep the program busy: the caret stays on instead.
    SendScintilla(SCI_SETCARETPERIOD, static_cast<unsigned long>(cut ? 0 : m_caretPeriod));
}

void ByteTextEdit::setBytes(QByteArrayView bytes)
{
    Fill fill(this, bytes.size());
    for (qsizetype at = 0; at < bytes.size(); at += kChunk)
        fill.add(bytes.data() + at, std::min<qsizetype>(kChunk, bytes.size() - at));
    if (fill.ok())
        fill.commit();
}

QByteArrayView ByteTextEdit::shownBytes() const
{
    const qsizetype length = SendScintilla(SCI_GETLENGTH);
    if (length == 0)
        return {};
    const auto *data = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return QByteArrayView(data, length);
}

QList<QByteArrayView> ByteTextEdit::pieces() const
{
    const QByteArrayView shown = shownBytes();
    if (m_cuts.isEmpty())
        return { shown };
    if (m_storeIsWhole)
        return { m_store };
    QList<QByteArrayView> out;
    qsizetype from = 0;
    for (const Cut &cut : m_cuts) {
        out.append(shown.sliced(from, cut.at - from));
        out.append(QByteArrayView(m_store).sliced(cut.from, cut.length));
        from = cut.at;
    }
    out.append(shown.sliced(from));
    return out;
}

// The whole text is put together when asked for after an edit; the tails are
// then read from it, so the program holds them once.
QByteArrayView ByteTextEdit::bytes()
{
    if (m_cuts.isEmpty())
        return shownBytes();
    if (!m_storeIsWhole) {
        const QList<QByteArrayView> parts = pieces();
        qsizetype size = 0;
        for (const QByteArrayView part : parts)
            size += part.size();
        QByteArray whole(size, Qt::Uninitialized);
        qsizetype at = 0;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            // Every second piece is a tail.
            if (i % 2 == 1)
                m_cuts[i / 2].from = at;
            std::copy(parts[i].begin(), parts[i].end(), whole.data() + at);
            at += parts[i].size();
        }
        m_store = std::move(whole);
        m_storeIsWhole = true;
    }
    return m_store;
}

qsizetype ByteTextEdit::positionOf(qsizetype offset) const
{
    qsizetype hidden = 0;
    for (const Cut &cut : m_cuts) {
        const qsizetype tail = cut.at + hidden;
        if (offset <= tail)
            break;
        if (offset < tail + cut.length)
            return cut.at;
        hidden += cut.length;
    }
    return offset - hidden;
}

qsizetype ByteTextEdit::offsetAt(qsizetype position) const
{
    qsizetype hidden = 0;
    for (const Cut &cut : m_cuts) {
        if (cut.at >= position)
            break;
        hidden += cut.length;
    }
    return position + hidden;
}

qsizetype ByteTextEdit::selectionStartOffset() const
{
    const qsizetype start = SendScintilla(SCI_GETSELECTIONSTART);
    // A selection asked for in hidden text shows at its cut; while it does,
    // it still starts where it was asked to.
    if (m_askedStart >= 0 && start == SendScintilla(SCI_GETSELECTIONEND) && start == cutOfLineAt(start)
        && start == positionOf(m_askedStart))
        return m_askedStart;
    return offsetAt(start);
}

qsizetype ByteTextEdit::selectionLength() const
{
    return offsetAt(SendScintilla(SCI_GETSELECTIONEND)) - offsetAt(SendScintilla(SCI_GETSELECTIONSTART));
}

void ByteTextEdit::selectBytes(qsizetype start, qsizetype length)
{
    const qsizetype from = positionOf(start);
    const qsizetype to = positionOf(start + length);
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(from), static_cast<long>(to));
    m_askedStart = start;
    // Setting the selection scrolls only its caret end into view; show the
    // selection from its start, so the line it lies on is seen from its left.
    SendScintilla(SCI_SCROLLRANGE, static_cast<unsigned long>(to), static_cast<long>(from));
}

void ByteTextEdit::placeCaret(qsizetype offset)
{
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(positionOf(offset)));
}

bool ByteTextEdit::changedSinceSave() const
{
    return SendScintilla(SCI_GETMODIFY) != 0;
}

void ByteTextEdit::markSaved()
{
    SendScintilla(SCI_SETSAVEPOINT);
}

void ByteTextEdit::refuse(const QString &text, qsizetype position) const
{
    const char32_t ch = QStringView(text).mid(position).toUcs4().value(0);
    m_lastRefusal = tr("%1 cannot be stored in this file: its code page has no such character.")
                        .arg(codepage::describe(ch));
    QApplication::beep();
    const qsizetype caret = SendScintilla(SCI_GETCURRENTPOS);
    const QPoint at(SendScintilla(SCI_POINTXFROMPOSITION, 0UL, static_cast<long>(caret)),
        SendScintilla(SCI_POINTYFROMPOSITION, 0UL, static_cast<long>(caret)));
    QToolTip::showText(viewport()->mapToGlobal(at), m_lastRefusal, const_cast<ByteTextEdit *>(this));
    Q_EMIT const_cast<ByteTextEdit *>(this)->inputRefused(m_lastRefusal);
}

bool ByteTextEdit::insertTyped(const QString &text)
{
    if (refusedAtCut(SendScintilla(SCI_GETSELECTIONSTART), SendScintilla(SCI_GETSELECTIONEND)))
        return false;
    const codepage::Encoded encoded = encodeText(text);
    if (!encoded.ok()) {
        refuse(text, encoded.position);
        return false;
    }
    SendScintilla(SCI_REPLACESEL, 0UL, encoded.bytes.constData());
    return true;
}

void ByteTextEdit::keyPressEvent(QKeyEvent *event)
{
    if (isReadOnly()) {
        QsciScintilla::keyPressEvent(event);
        return;
    }
    // Tab moves the focus on, as in the other fields of the window.
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        event->accept();
        return;
    }
    // Right at the cut of a long line goes on to the next line, past the
    // hidden part.
    if (event->key() == Qt::Key_Right && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const qsizetype caret = SendScintilla(SCI_GETCURRENTPOS);
        const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
        if (cutOfLineAt(caret) == caret && line + 1 < SendScintilla(SCI_GETLINECOUNT)) {
            const long next = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line + 1));
            if (event->modifiers() & Qt::ShiftModifier)
                SendScintilla(SCI_SETSEL, static_cast<unsigned long>(SendScintilla(SCI_GETANCHOR)), next);
            else
                SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(next));
            event->accept();
            return;
        }
    }
    if (keyRefusedAtCut(event)) {
        event->accept();
        return;
    }
    // Printable text goes through the code page; keys and shortcuts (Enter,
    // Tab, Backspace, Ctrl+...) keep the widget's own handling. A chord the
    // widget has no command for would type its key's character: it types nothing.
    if (keyboardaids::isCommandChord(event)) {
        keyboardaids::dropChordText(event);
    } else if (isPrintable(event->text())) {
        insertTyped(event->text());
        event->accept();
        return;
    }
    QsciScintilla::keyPressEvent(event);
}

void ByteTextEdit::inputMethodEvent(QInputMethodEvent *event)
{
    if (!isReadOnly() && !event->commitString().isEmpty() && event->preeditString().isEmpty()) {
        insertTyped(event->commitString());
        event->accept();
        return;
    }
    QsciScintilla::inputMethodEvent(event);
}

void ByteTextEdit::paste()
{
    pasteFrom(QClipboard::Clipboard);
}

void ByteTextEdit::pasteFrom(QClipboard::Mode mode)
{
    // Not the widget's own paste: it clears the selection even when nothing
    // can be inserted, and it keeps only what stands before a NUL.
    const QMimeData *data = QApplication::clipboard()->mimeData(mode);
    if (isReadOnly() || !data || !data->hasText())
        return;
    if (refusedAtCut(SendScintilla(SCI_GETSELECTIONSTART), SendScintilla(SCI_GETSELECTIONEND)))
        return;
    const QString text = lineends::withCrLf(data->text());
    const codepage::Encoded encoded = encodeText(text);
    if (!encoded.ok()) {
        refuse(text, encoded.position);
        return;
    }
    replaceSelection(encoded.bytes);
}

// A middle click pastes the X selection at the click, the same way as the
// other pastes (the widget's own would keep only what stands before a NUL).
bool ByteTextEdit::isSelectionPaste(const QMouseEvent *event) const
{
    return event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()
        && !isReadOnly();
}

void ByteTextEdit::mousePressEvent(QMouseEvent *event)
{
    if (!isSelectionPaste(event)) {
        QsciScintilla::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    SendScintilla(SCI_GOTOPOS,
        static_cast<unsigned long>(SendScintilla(SCI_POSITIONFROMPOINT,
            static_cast<unsigned long>(std::max(at.x(), 0)), static_cast<long>(std::max(at.y(), 0)))));
    pasteFrom(QClipboard::Selection);
    event->accept();
}

void ByteTextEdit::mouseReleaseEvent(QMouseEvent *event)
{
    if (isSelectionPaste(event)) {
        event->accept();
        return;
    }
    QsciScintilla::mouseReleaseEvent(event);
}

void ByteTextEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    if (!menu)
        return;
    // The menu's Delete would clear the selection past the checks the keys
    // and the other commands go through.
    for (QAction *action : menu->actions()) {
        if (action->text().remove(u'&') == QStringLiteral("Delete")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &ByteTextEdit::removeSelectedText);
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void ByteTextEdit::replaceSelection(const QByteArray &bytes)
{
    // With its length given, the text may hold NUL bytes.
    SendScintilla(SCI_BEGINUNDOACTION);
    SendScintilla(SCI_TARGETFROMSELECTION);
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    const long end = SendScintilla(SCI_GETTARGETEND);
    SendScintilla(SCI_ENDUNDOACTION);
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(end));
}

void ByteTextEdit::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (isReadOnly() || !data || !data->hasText()) {
        QsciScintilla::dropEvent(event);
        return;
    }
    // Not the widget's own drop either, which keeps only what stands before
    // a NUL; when the user moves a selection, it would lose the rest.
    QDragLeaveEvent leave; // hides the widget's drop caret
    QsciScintilla::dragLeaveEvent(&leave);
    const QString text = lineends::withCrLf(data->text());
    const codepage::Encoded encoded = encodeText(text);
    if (!encoded.ok()) {
        refuse(text, encoded.position);
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    qsizetype position = SendScintilla(SCI_POSITIONFROMPOINT, static_cast<unsigned long>(std::max(at.x(), 0)),
        static_cast<long>(std::max(at.y(), 0)));
    const bool moving = event->source() == this && event->dropAction() == Qt::MoveAction;
    const qsizetype start = SendScintilla(SCI_GETSELECTIONSTART);
    const qsizetype end = SendScintilla(SCI_GETSELECTIONEND);
    if (refusedAtCut(position, position) || (moving && start != end && refusedAtCut(start, end))) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (moving && position >= start && position <= end)
        return; // dropped onto itself
    SendScintilla(SCI_BEGINUNDOACTION);
    if (moving) {
        SendScintilla(SCI_DELETERANGE, static_cast<unsigned long>(start), static_cast<long>(end - start));
        if (position > end)
            position -= end - start;
    }
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(position), static_cast<long>(position));
    SendScintilla(
        SCI_REPLACETARGET, static_cast<unsigned long>(encoded.bytes.size()), encoded.bytes.constData());
    SendScintilla(SCI_ENDUNDOACTION);
    selectBytes(offsetAt(position), encoded.bytes.size());
}

QByteArray ByteTextEdit::fromMimeData(const QMimeData *source, bool &rectangular) const
{
    rectangular = false;
    const QString text = lineends::withCrLf(source->text());
    const codepage::Encoded encoded = encodeText(text);
    if (!encoded.ok()) {
        refuse(text, encoded.position);
        return {};
    }
    return encoded.bytes;
}

// What is copied or dragged is the selection; one that reaches over a cut
// holds the hidden bytes, as the file does.
QMimeData *ByteTextEdit::toMimeData(const QByteArray &text, bool /*rectangular*/) const
{
    auto *data = new QMimeData;
    const qsizetype start = SendScintilla(SCI_GETSELECTIONSTART);
    const qsizetype end = SendScintilla(SCI_GETSELECTIONEND);
    if (m_cuts.isEmpty() || text.size() != end - start || offsetAt(end) - offsetAt(start) == text.size()) {
        data->setText(ini::decode(text, m_encoding));
        return data;
    }
    QByteArray whole;
    const QList<QByteArrayView> parts = pieces();
    qsizetype at = 0;
    const qsizetype from = offsetAt(start);
    const qsizetype to = offsetAt(end);
    for (const QByteArrayView part : parts) {
        const qsizetype first = std::max(from, at);
        const qsizetype last = std::min(to, at + part.size());
        if (first < last)
            whole += part.sliced(first - at, last - first);
        at += part.size();
    }
    data->setText(ini::decode(whole, m_encoding));
    return data;
}

#include "editor/ByteTextEdit.h"

#include "core/CodePage.h"
#include "core/LineEnds.h"
#include "core/LongLines.h"
#include "editor/BackgroundWork.h"
#include "editor/ByteTextAccessible.h"
#include "editor/CodePageGlyphs.h"
#include "fileio/FileRead.h"
#include "platform/ClassicLook.h"
#include "platform/HugePages.h"
#include "platform/KeyboardAids.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
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

#include <sys/stat.h>
#include <unistd.h>

// Scintilla's document loader interface. QScintilla does not ship the header
// that declares it, so it is declared here as Scintilla declares it: same name
// in the global namespace (the sanitizer's type check compares names), three
// virtual functions in this order. Not in an unnamed namespace: the compiler
// would then know every implementation of it (none) and turn the calls into
// pure virtual calls.
class ILoader {
public:
    virtual int Release() = 0;
    virtual int AddData(const char *data, ptrdiff_t length) = 0;
    virtual void *ConvertToDocument() = 0;

protected:
    ~ILoader() = default;
};

namespace {

constexpr qint64 kChunk = 4 * 1024 * 1024;
constexpr qint64 kHeadroom = 64 * 1024;

// Laying out a line measures every one of its characters, at about a
// microsecond each, and the widget does it for a whole line whenever it shows
// any part of it. So only the first bytes of a very long line are shown (more
// than a screen can hold); its other bytes stay in the text, unchanged, in a
// style that is not drawn, which is not measured either.
constexpr qsizetype kShownOfLongLine = 64 * 1024;
constexpr int kShownStyle = 0;
// Above the styles a lexer colours with (the INI lexer uses 0 to 5), below
// the widget's own predefined ones (32 on): hiding it hides nothing else.
constexpr int kHiddenStyle = 31;

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
            if (type & SC_MOD_BEFOREINSERT)
                noteEdit(position, length, 0);
            else if (type & SC_MOD_BEFOREDELETE)
                noteEdit(position, 0, length);
        });
}

// The range [m_editedFrom, m_editedTo] covers what the edits since the last
// announcement touched, in the positions of the text after them.
void ByteTextEdit::noteEdit(qsizetype position, qsizetype inserted, qsizetype removed)
{
    if (!m_editsPending) {
        m_editsPending = true;
        m_editedFrom = m_editedTo = position;
    }
    if (m_editedTo >= position + removed)
        m_editedTo += inserted - removed;
    else if (m_editedTo > position)
        m_editedTo = position;
    m_editedFrom = std::min(m_editedFrom, position);
    m_editedTo = std::max(m_editedTo, position + inserted);
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
    if (m_hidesTails) {
        const qsizetype length = SendScintilla(SCI_GETLENGTH);
        const qsizetype from = std::min(m_editedFrom, length);
        restyleEditedLines(from, std::min(m_editedTo, length) - from);
    }
    Q_EMIT textChanged();
    const long lines = SendScintilla(SCI_GETLINECOUNT);
    if (lines != m_lineCount) {
        m_lineCount = lines;
        Q_EMIT linesChanged();
    }
}

// After every event the widget handled (a key, a click, a drop, a menu
// command): the edits it made are announced, and the caret is kept out of
// hidden text.
void ByteTextEdit::afterInput()
{
    publishEdits();
    keepSelectionShown();
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
    QsciScintilla::cut();
    afterInput();
}

void ByteTextEdit::removeSelectedText()
{
    QsciScintilla::removeSelectedText();
    afterInput();
}

void ByteTextEdit::replaceSelectedText(const QString &text)
{
    insertTyped(text);
    afterInput();
}

qsizetype ByteTextEdit::cutOfLineAt(qsizetype position) const
{
    if (!m_hidesTails)
        return -1;
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    const qsizetype start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const qsizetype end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    return end - start > kShownOfLongLine ? start + kShownOfLongLine : -1;
}

// A caret (or selection end) past the cut of a long line goes back to the cut.
void ByteTextEdit::keepSelectionShown()
{
    if (!m_hidesTails)
        return;
    const auto shown = [this](qsizetype position) {
        const qsizetype cut = cutOfLineAt(position);
        return cut < 0 || position <= cut ? position : cut;
    };
    const qsizetype caret = SendScintilla(SCI_GETCURRENTPOS);
    const qsizetype anchor = SendScintilla(SCI_GETANCHOR);
    const qsizetype shownCaret = shown(caret);
    const qsizetype shownAnchor = anchor == caret ? shownCaret : shown(anchor);
    if (shownCaret != caret || shownAnchor != anchor)
        SendScintilla(SCI_SETSEL, static_cast<unsigned long>(shownAnchor), static_cast<long>(shownCaret));
}

// Typing or deleting at the cut of a long line would change the hidden part,
// which the user cannot see.
bool ByteTextEdit::refusedAtCut(qsizetype position)
{
    if (cutOfLineAt(position) != position)
        return false;
    m_lastRefusal = tr("This line is longer than the editor shows; its hidden part, after the caret, "
                       "cannot be changed here.");
    QApplication::beep();
    const QPoint at(SendScintilla(SCI_POINTXFROMPOSITION, 0UL, static_cast<long>(position)),
        SendScintilla(SCI_POINTYFROMPOSITION, 0UL, static_cast<long>(position)));
    QToolTip::showText(viewport()->mapToGlobal(at), m_lastRefusal, this);
    Q_EMIT inputRefused(m_lastRefusal);
    return true;
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
    m_encoding = ini::encodingOf(bytes());
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
// view to notify. The loader makes a UTF-8 document,
// and switching a filled document to the 8-bit code page re-reads all of its
// text, so the empty document is shown once to take its settings first.
class ByteTextEdit::Fill {
public:
    // `styles`: the document keeps a style byte per byte, which hiding the
    // tails of long lines needs; other documents save the memory.
    Fill(ByteTextEdit *edit, qint64 bytes, bool styles = false)
        : Fill(edit, createLoader(edit, bytes, styles), styles, true)
    { }
    // Fills `loader`, which a worker thread made and adds the data to: until
    // adopt(), releasing it is the worker's business.
    Fill(ByteTextEdit *edit, ILoader *loader, bool styles, bool owned)
        : m_edit(edit), m_styles(styles), m_owned(owned)
    {
        m_previous = m_edit->SendScintillaPtrResult(SCI_GETDOCPOINTER);
        m_encoding = m_edit->m_encoding;
        m_edit->SendScintilla(SCI_ADDREFDOCUMENT, 0UL, m_previous);
        // Showing another document resets the selection; a failed load puts it back.
        m_anchor = m_edit->SendScintilla(SCI_GETANCHOR);
        m_caret = m_edit->SendScintilla(SCI_GETCURRENTPOS);
        m_firstLine = m_edit->SendScintilla(SCI_GETFIRSTVISIBLELINE);
        m_loader = loader;
        if (!m_loader)
            return;
        m_document = m_loader->ConvertToDocument();
        m_edit->SendScintilla(SCI_SETDOCPOINTER, 0UL, m_document);
        m_edit->applyDocumentSettings();
        m_edit->SendScintilla(SCI_SETDOCPOINTER, 0UL, m_previous);
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

    // Room for the whole text and a little more: a buffer that the last
    // piece would fill exactly is reallocated (and copied) at that moment.
    // The loader is made in one call that clears all of that room.
    static ILoader *createLoader(const ByteTextEdit *edit, qint64 bytes, bool styles)
    {
        try {
            return reinterpret_cast<ILoader *>(edit->SendScintilla(SCI_CREATELOADER,
                static_cast<unsigned long>(std::max<qint64>(bytes, 0) + kHeadroom),
                static_cast<long>(styles ? SC_DOCUMENTOPTION_DEFAULT : SC_DOCUMENTOPTION_STYLES_NONE)));
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
    }

    bool ok() const { return m_loader != nullptr && m_ok; }
    void add(const char *data, qsizetype length)
    {
        if (m_loader && m_loader->AddData(data, static_cast<ptrdiff_t>(length)) != SC_STATUS_OK)
            m_ok = false;
    }
    // The loader is this thread's from now on.
    void adopt() { m_owned = true; }
    void commit()
    {
        m_edit->SendScintilla(SCI_SETDOCPOINTER, 0UL, m_document);
        if (m_owned)
            m_loader->Release(); // the view holds the document now
        m_loader = nullptr;
        m_edit->applyDocumentSettings();
        // Before anything lays out a line (placing the caret does).
        const QList<longlines::Tail> tails = longlines::tails(m_edit->bytes(), kShownOfLongLine);
        if (!tails.isEmpty() && !m_styles && m_edit->copyIntoStyledDocument())
            return; // the copy's own commit did the rest
        m_edit->hideTails(tails, m_styles);
        m_edit->SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
        m_edit->SendScintilla(SCI_EMPTYUNDOBUFFER);
        m_edit->SendScintilla(SCI_SETSAVEPOINT);
        m_edit->SendScintilla(SCI_GOTOPOS, 0UL);
        // The load is no edit: nothing to announce, and the count starts here.
        m_edit->m_editsPending = false;
        m_edit->m_lineCount = m_edit->SendScintilla(SCI_GETLINECOUNT);
        m_edit->m_askedStart = -1;
        Q_EMIT m_edit->documentReplaced();
    }

private:
    ByteTextEdit *m_edit;
    bool m_styles;
    bool m_owned;
    void *m_previous = nullptr;
    ILoader *m_loader = nullptr;
    void *m_document = nullptr;
    bool m_ok = true;
    long m_anchor = 0;
    long m_caret = 0;
    long m_firstLine = 0;
    ini::Encoding m_encoding = ini::Encoding::Ansi;
};

// What a load's worker thread and the GUI thread share. The worker makes the
// loader (one long step for a large file: all of its room is allocated and
// cleared at once), waits for the GUI thread to give the empty document the
// view's settings, reads the file into it, and then waits for the verdict:
// the GUI thread takes the loader, or abandons it, and then the worker
// releases it, so that freeing a large text never holds up the window.
struct ByteTextEdit::Reading {
    std::mutex mutex;
    std::condition_variable changed;
    // From the worker.
    bool created = false; // the loader was made, or could not be (null)
    ILoader *loader = nullptr;
    bool filled = false; // every byte is in, or the read failed
    FileError error; // why it failed: kind System with errnum 0 while it has not
    bool failed = false;
    bool exited = false;
    std::atomic<qint64> prepared = 0; // of the room for the text, cleared
    std::atomic<qint64> read = 0;
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
    // Scintilla's loader is meant to be filled away from the view: making one
    // only creates a document, and its AddData touches no view. Making it
    // allocates and clears room for the whole text in one call, which for a
    // large file takes about as long as reading it: its pages count for half
    // of the progress.
    ILoader *loader = nullptr;
    {
        const hugepages::ReportTouching report(
            [&r, size](std::size_t done, std::size_t) { r.prepared = std::min<qint64>(qint64(done), size); });
        loader = Fill::createLoader(edit, size, false);
    }
    r.prepared = size;
    std::unique_lock lock(r.mutex);
    r.created = true;
    r.loader = loader;
    if (!loader) {
        r.failed = true;
        r.error = { FileError::Kind::System, ENOMEM, QStringLiteral("Not enough memory") };
    }
    r.changed.notify_all();
    if (loader) {
        r.changed.wait(lock, [&] { return r.settingsApplied || r.abandoned; });
        lock.unlock();
        FileError error;
        bool failed = false;
        std::vector<char> chunk(static_cast<size_t>(std::min<qint64>(kChunk, std::max<qint64>(size, 1))));
        while (!r.abandoned) {
            const ssize_t n = ::read(fd, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = FileError::system(errno);
                failed = true;
                break;
            }
            if (n == 0)
                break;
            if (loader->AddData(chunk.data(), static_cast<ptrdiff_t>(n)) != SC_STATUS_OK) {
                error = { FileError::Kind::System, ENOMEM, QStringLiteral("Not enough memory") };
                failed = true;
                break;
            }
            r.read += n;
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
            lock.lock();
        }
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

bool ByteTextEdit::loadFile(const QString &path, FileError *error, const Progress &progress)
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
    const auto reading = std::make_shared<Reading>();
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
            fill.emplace(this, reading->loader, false, false);
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
    if (progress && !progress(bytesIn))
        return cancelled();
    lock.lock();
    reading->taken = true;
    reading->changed.notify_all();
    lock.unlock();
    abandon.dismiss();
    fill->adopt();
    fill->commit();
    return true;
}

bool ByteTextEdit::copyIntoStyledDocument()
{
    const QByteArrayView text = bytes();
    Fill fill(this, text.size(), true);
    for (qsizetype at = 0; at < text.size(); at += kChunk)
        fill.add(text.data() + at, std::min<qsizetype>(kChunk, text.size() - at));
    if (!fill.ok())
        return false;
    fill.commit();
    return true;
}

void ByteTextEdit::hideTails(const QList<longlines::Tail> &tails, bool styled)
{
    m_hidesTails = styled && !tails.isEmpty();
    // A long line stays in the layout cache while it is on screen, so that
    // drawing another line does not lay it out again.
    SendScintilla(
        SCI_SETLAYOUTCACHE, static_cast<unsigned long>(m_hidesTails ? SC_CACHE_PAGE : SC_CACHE_CARET));
    // Drawing a long line still walks all of its bytes, so a blinking caret in
    // it would keep the program busy: the caret stays on instead.
    SendScintilla(SCI_SETCARETPERIOD, static_cast<unsigned long>(m_hidesTails ? 0 : m_caretPeriod));
    if (!m_hidesTails)
        return;
    SendScintilla(SCI_STYLESETVISIBLE, static_cast<unsigned long>(kHiddenStyle), 0L);
    for (const longlines::Tail &tail : tails)
        setStyle(tail.start, tail.end - tail.start, kHiddenStyle);
}

void ByteTextEdit::setStyle(qsizetype start, qsizetype length, int style)
{
    if (length <= 0)
        return;
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(start), 0L);
    SendScintilla(SCI_SETSTYLING, static_cast<unsigned long>(length), static_cast<long>(style));
}

// Edits move bytes between the shown and the hidden part of a long line, and
// make lines longer or shorter: the lines an edit touched are styled afresh.
void ByteTextEdit::restyleEditedLines(qsizetype position, qsizetype insertedLength)
{
    const long first = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    const long last
        = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position + insertedLength));
    for (long line = first; line <= last; ++line) {
        const qsizetype start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
        const qsizetype end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
        const qsizetype shown = std::min(end - start, kShownOfLongLine);
        setStyle(start, shown, kShownStyle);
        setStyle(start + shown, end - start - shown, kHiddenStyle);
    }
}

void ByteTextEdit::setBytes(QByteArrayView bytes)
{
    Fill fill(this, bytes.size());
    for (qsizetype at = 0; at < bytes.size(); at += kChunk)
        fill.add(bytes.data() + at, std::min<qsizetype>(kChunk, bytes.size() - at));
    if (fill.ok())
        fill.commit();
}

QByteArrayView ByteTextEdit::bytes()
{
    const qsizetype length = SendScintilla(SCI_GETLENGTH);
    if (length == 0)
        return {};
    const auto *data = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return QByteArrayView(data, length);
}

qsizetype ByteTextEdit::selectionStartOffset() const
{
    const qsizetype start = SendScintilla(SCI_GETSELECTIONSTART);
    // A selection asked for in hidden text shows at its cut; while it does,
    // it still starts where it was asked to.
    if (m_askedStart >= 0 && start != m_askedStart && start == SendScintilla(SCI_GETSELECTIONEND)
        && start == cutOfLineAt(m_askedStart))
        return m_askedStart;
    return start;
}

qsizetype ByteTextEdit::selectionLength() const
{
    return SendScintilla(SCI_GETSELECTIONEND) - SendScintilla(SCI_GETSELECTIONSTART);
}

void ByteTextEdit::selectBytes(qsizetype start, qsizetype length)
{
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), static_cast<long>(start + length));
    keepSelectionShown();
    m_askedStart = start;
    // Setting the selection scrolls only its caret end into view; show the
    // selection from its start, so the line it lies on is seen from its left.
    const qsizetype shownStart = SendScintilla(SCI_GETSELECTIONSTART);
    SendScintilla(SCI_SCROLLRANGE, static_cast<unsigned long>(SendScintilla(SCI_GETSELECTIONEND)),
        static_cast<long>(shownStart));
}

void ByteTextEdit::placeCaret(qsizetype offset)
{
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(offset));
    keepSelectionShown();
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
    if (refusedAtCut(SendScintilla(SCI_GETSELECTIONSTART)))
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
    // Delete at the cut of a long line would take a hidden byte.
    if (event->key() == Qt::Key_Delete && selectionLength() == 0
        && refusedAtCut(SendScintilla(SCI_GETSELECTIONSTART))) {
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
    if (refusedAtCut(SendScintilla(SCI_GETSELECTIONSTART)))
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
    placeCaret(SendScintilla(SCI_POSITIONFROMPOINT, static_cast<unsigned long>(std::max(at.x(), 0)),
        static_cast<long>(std::max(at.y(), 0))));
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
    if (refusedAtCut(position)) {
        event->ignore();
        return;
    }
    const bool moving = event->source() == this && event->dropAction() == Qt::MoveAction;
    const qsizetype start = selectionStartOffset();
    const qsizetype end = start + selectionLength();
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
    selectBytes(position, encoded.bytes.size());
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

QMimeData *ByteTextEdit::toMimeData(const QByteArray &text, bool /*rectangular*/) const
{
    auto *data = new QMimeData;
    data->setText(ini::decode(text, m_encoding));
    return data;
}

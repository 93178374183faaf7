// The editor on generated settings files of 1 MB and 100 MB (about 200,000
// sections), each figure beside a command-line reference on the same file.

#include "BenchSupport.h"
#include "EditorWindowDriver.h"

#include "core/CodePage.h"
#include "core/KeySearch.h"
#include "editor/ByteTextEdit.h"
#include "editor/CutListModel.h"
#include "editor/EditorUpdate.h"
#include "editor/IniColours.h"
#include "editor/OpenProgress.h"
#include "editor/ScintillaLoader.h"
#include "editor/frmINIEditor.h"
#include "ini/SettingsFile.h"
#include "platform/AppFolder.h"
#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"
#include "platform/ShowOnce.h"

#include <Qsci/qsciscintillabase.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

struct Size {
    const char *label;
    qint64 bytes;
};
const Size kSizes[] = { { "1M", 1LL << 20 }, { "100M", 100LL << 20 } };

QString fileOf(const Size &size)
{
    static std::map<qint64, QString> files;
    auto it = files.find(size.bytes);
    if (it == files.end())
        it = files.emplace(size.bytes, bench::generatedFile(size.bytes)).first;
    return it->second;
}

QString shellQuote(const QString &path)
{
    return u'\'' + QString(path).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

std::string name(const char *what, const Size &size)
{
    return std::string("editor/") + what + "/" + size.label;
}

// The name a benchmark is reported under: Google Benchmark appends the fixed
// iteration count and the manual-time mark.
std::string reported(const char *what, const Size &size, int iterations)
{
    return name(what, size) + "/iterations:" + std::to_string(iterations) + "/manual_time";
}

double seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

void closeEditor()
{
    if (frmINIEditor *form = showonce::instance<frmINIEditor>()) {
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// Opens the editor on `path` through its real load step, as the user does.
frmINIEditor *openEditor(const QString &path)
{
    closeEditor();
    frmINIEditor *form = editordriver::open(path);
    QCoreApplication::processEvents();
    return form;
}

// The floor under the open: the text widget's own loader filled with the
// file's bytes in 4 MB pieces, with nothing of the program around it (no
// scan, no cutting, no view to show it). The bytes are read beforehand.
void bareLoad(benchmark::State &state, QString path, std::string reference)
{
    bench::setReference(state, reference);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot read the file");
        return;
    }
    const QByteArray bytes = file.readAll();
    constexpr qsizetype kPiece = qsizetype(4) << 20;
    QsciScintillaBase edit;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto *loader = reinterpret_cast<ILoader *>(edit.SendScintilla(QsciScintillaBase::SCI_CREATELOADER,
            static_cast<unsigned long>(bytes.size() + (64 << 10)),
            static_cast<long>(QsciScintillaBase::SC_DOCUMENTOPTION_STYLES_NONE)));
        for (qsizetype at = 0; at < bytes.size(); at += kPiece)
            loader->AddData(bytes.data() + at, std::min(kPiece, bytes.size() - at));
        void *document = loader->ConvertToDocument();
        state.SetIterationTime(seconds(timer));
        edit.SendScintilla(QsciScintillaBase::SCI_RELEASEDOCUMENT, 0UL, document);
    }
}

void grepHeads(benchmark::State &state, QString path)
{
    // The count goes to a file: with its output on /dev/null grep stops at the
    // first match instead of counting.
    const QString out = bench::scratchFolder() + QStringLiteral("/grep-count.txt");
    const QString command = QStringLiteral("grep -c '^\\[' %1 >%2").arg(shellQuote(path), shellQuote(out));
    for (auto _ : state)
        state.SetIterationTime(bench::runShell(command));
}

void sectionScan(benchmark::State &state, QString path, std::string reference)
{
    bench::setReference(state, reference);
    qint64 count = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QList<QByteArray> names;
        settingsfile::readSectionNames(path, &names);
        state.SetIterationTime(seconds(timer));
        count = names.size();
    }
    state.counters["sections"] = static_cast<double>(count);
}

void catFile(benchmark::State &state, QString path)
{
    const QString command = QStringLiteral("cat %1 >/dev/null").arg(shellQuote(path));
    for (auto _ : state)
        state.SetIterationTime(bench::runShell(command));
}

// One open from the dialog's answer to the first paint: scan, name list, count
// caption and the text area filled (and coloured, unless `coloured` is off).
double timedOpen(const QString &path, bool coloured)
{
    IniColours::setEnabled(coloured);
    closeEditor();
    QElapsedTimer timer;
    timer.start();
    openEditor(path);
    const double elapsed = seconds(timer);
    closeEditor();
    IniColours::setEnabled(true);
    return elapsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void fullOpen(benchmark::State &state, QString path, std::string reference, bool coloured)
{
    bench::setReference(state, reference);
    closeEditor();
    bench::resetPeakRss();
    // What the process held before the open (the libraries, the program):
    // the peak includes it.
    state.counters["rss_before_open_bytes"] = static_cast<double>(bench::peakRssBytes());
    qint64 peak = 0;
    for (auto _ : state) {
        IniColours::setEnabled(coloured);
        QElapsedTimer timer;
        timer.start();
        openEditor(path);
        state.SetIterationTime(seconds(timer));
        peak = std::max(peak, bench::peakRssBytes());
        IniColours::setEnabled(true);
    }
    state.counters["peak_rss_bytes"] = static_cast<double>(peak);
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(path).size());
    closeEditor();
}

// The colouring's share of an open: opens with and without colouring take
// turns (which goes first alternates), so that a load the machine has
// meanwhile weighs on both alike; the medians are compared.
void pairedOpen(benchmark::State &state, QString path)
{
    std::vector<double> coloured;
    std::vector<double> uncoloured;
    for (auto _ : state) {
        const bool colouredFirst = coloured.size() % 2 == 1;
        if (colouredFirst)
            coloured.push_back(timedOpen(path, true));
        uncoloured.push_back(timedOpen(path, false));
        if (!colouredFirst)
            coloured.push_back(timedOpen(path, true));
        state.SetIterationTime(coloured.back());
    }
    state.counters["median_s"] = median(coloured);
    state.counters["reference_median_s"] = median(uncoloured);
    state.SetLabel("reference=uncoloured open, taking turns");
}

// A settings file whose one key line holds 200 MB of words, written on first
// use only: only the head of such a line is laid out.
QString oneLongLineFile()
{
    static QString path;
    if (path.isEmpty()) {
        path = bench::scratchFolder() + QStringLiteral("/one-long-line.ini");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write("[Game]\r\nComments=");
        const QByteArray words = QByteArray("lorem ipsum dolor sit amet, ").repeated(4096);
        for (qint64 written = 0; written < (200LL << 20); written += words.size())
            file.write(words);
        file.write("\r\nUCode=1\r\n");
    }
    return path;
}

void openOneLongLine(benchmark::State &state, std::string reference)
{
    fullOpen(state, oneLongLineFile(), reference, true);
}

// In the open one-line file: a key typed in the shown part of the long line,
// or End on it, each with the paint that shows it.
void oneLongLineKey(benchmark::State &state, Qt::Key key, std::string reference)
{
    bench::setReference(state, reference);
    frmINIEditor *form = openEditor(oneLongLineFile());
    form->show();
    ByteTextEdit *text = child<ByteTextEdit>(form, "Text1");
    text->setFocus();
    const qsizetype inLine = qsizetype(sizeof("[Game]\r\nComments=")) - 1;
    for (auto _ : state) {
        text->placeCaret(inLine);
        text->viewport()->repaint();
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(text, key);
        text->viewport()->repaint();
        state.SetIterationTime(seconds(timer));
    }
    text->markSaved();
    closeEditor();
}

// A click on the last section's name: the file is read again and the
// section's keys and values listed.
void clickLastName(benchmark::State &state, QString path, std::string reference)
{
    bench::setReference(state, reference);
    frmINIEditor *form = openEditor(path);
    auto *names = child<QListView>(form, "ListNames");
    names->setCurrentIndex(names->model()->index(names->model()->rowCount() - 1, 0));
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        form->ListNames_Click();
        state.SetIterationTime(seconds(timer));
    }
    state.counters["keys"] = child<QListView>(form, "ListKey1")->model()->rowCount();
    closeEditor();
}

// A click on the key of the last section whose line first occurs latest in
// the text: Find First scans nearly the whole text.
void findFirstNearEnd(benchmark::State &state, QString path, std::string reference)
{
    bench::setReference(state, reference);
    frmINIEditor *form = openEditor(path);
    auto *names = child<QListView>(form, "ListNames");
    names->setCurrentIndex(names->model()->index(names->model()->rowCount() - 1, 0));
    auto *keys = qobject_cast<CutListModel *>(child<QListView>(form, "ListKey1")->model());
    auto *values = qobject_cast<CutListModel *>(child<QListView>(form, "ListKey2")->model());
    const QByteArrayView text = child<ByteTextEdit>(form, "Text1")->bytes();
    int bestRow = 0;
    qsizetype bestAt = -1;
    for (int row = 0; row < keys->rowCount(); ++row) {
        const QByteArray line
            = codepage::encode(QString(keys->stringList().at(row) + u'=' + values->stringList().at(row)))
                  .bytes;
        const qsizetype at = keysearch::findFirst(text, line);
        if (at > bestAt) {
            bestAt = at;
            bestRow = row;
        }
    }
    auto *keyList = child<QListView>(form, "ListKey1");
    keyList->setCurrentIndex(keys->index(bestRow));
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        form->ListKey1_Click();
        state.SetIterationTime(seconds(timer));
    }
    state.counters["match_at_fraction"] = text.isEmpty() ? 0.0 : static_cast<double>(bestAt) / text.size();
    closeEditor();
}

// Where in the text a typing benchmark puts the caret.
enum class Place { Top, Middle, End };
// What it does there, through the text area's own key handling.
enum class Edit { Key, Enter, Paste, Undo };

qsizetype offsetOf(ByteTextEdit *text, Place place)
{
    const qsizetype size = text->bytes().size();
    switch (place) {
    case Place::Top:
        return std::min<qsizetype>(size, 1); // inside the first head
    case Place::Middle: {
        // The start of the line that holds the middle byte.
        const QByteArrayView bytes = text->bytes();
        qsizetype at = size / 2;
        while (at > 0 && bytes[at - 1] != '\n')
            --at;
        return at;
    }
    case Place::End:
        return size;
    }
    return 0;
}

// One edit and the paint that shows it, as the user sees it: the key goes
// through the text area's key handling, then the text area repaints.
double timedEdit(ByteTextEdit *text, Edit edit)
{
    QElapsedTimer timer;
    timer.start();
    switch (edit) {
    case Edit::Key:
        QTest::keyClick(text, Qt::Key_X);
        break;
    case Edit::Enter:
        QTest::keyClick(text, Qt::Key_Return);
        break;
    case Edit::Paste:
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
        break;
    case Edit::Undo:
        QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
        break;
    }
    text->viewport()->repaint();
    return seconds(timer);
}

// Typing into the open editor at the top, the middle or the end of its text:
// each iteration puts the caret there (untimed) and times one edit.
void typing(benchmark::State &state, QString path, Place place, Edit edit, std::string reference)
{
    if (!reference.empty())
        bench::setReference(state, reference);
    frmINIEditor *form = openEditor(path);
    form->show();
    ByteTextEdit *text = child<ByteTextEdit>(form, "Text1");
    text->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("Pasted=1\r\n"));
    const qsizetype at = offsetOf(text, place);
    for (auto _ : state) {
        text->placeCaret(at);
        if (edit == Edit::Undo)
            QTest::keyClick(text, Qt::Key_Y);
        text->viewport()->repaint();
        state.SetIterationTime(timedEdit(text, edit));
    }
    text->markSaved();
    closeEditor();
}

// The first key after Update INI: the write (timed by the update benchmark)
// is followed by one typed key and its paint.
void keyAfterUpdate(benchmark::State &state, QString path, std::string reference)
{
    bench::setReference(state, reference);
    const QString copy = bench::scratchCopy(path, QStringLiteral("update-key.ini"));
    frmINIEditor *form = openEditor(copy);
    form->show();
    ByteTextEdit *text = child<ByteTextEdit>(form, "Text1");
    text->setFocus();
    for (auto _ : state) {
        text->placeCaret(text->bytes().size());
        form->cmdAdd_Click();
        state.SetIterationTime(timedEdit(text, Edit::Key));
    }
    if (!messagebox::takeRecorded().isEmpty())
        state.SkipWithError("the update reported a failure");
    text->markSaved();
    closeEditor();
}

// How the user stops a long open in the progress benchmarks.
enum class Stop { None, Cancel, Escape };

QProgressDialog *openProgressDialog()
{
    for (QWidget *widget : QApplication::allWidgets())
        if (widget->objectName() == QStringLiteral("openProgress"))
            return qobject_cast<QProgressDialog *>(widget);
    return nullptr;
}

// An open through the editor's load step with its progress bar shown at once,
// watched every few milliseconds: with Stop::None the figure is the longest
// time the bar stood still (its last step to the end of the open counted
// apart, as tail_s); otherwise the user stops the open `stopAfter` seconds in
// and the figure is how long the editor took to act on it.
void openProgress(benchmark::State &state, Size size, Stop stop, double stopAfter)
{
    // Made on first use only: the other benchmarks do not need it.
    const QString path = fileOf(size);
    OpenProgress::setDelay(0);
    for (auto _ : state) {
        closeEditor();
        QElapsedTimer clock;
        clock.start();
        double lastChange = 0;
        double longestStill = 0;
        double stoppedAt = -1;
        int lastValue = -1;
        QTimer watch;
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QProgressDialog *dialog = openProgressDialog();
            if (!dialog)
                return;
            const double now = seconds(clock);
            if (dialog->value() != lastValue) {
                if (lastValue >= 0)
                    longestStill = std::max(longestStill, now - lastChange);
                lastValue = dialog->value();
                lastChange = now;
            }
            if (stop != Stop::None && stoppedAt < 0 && now >= stopAfter) {
                stoppedAt = now;
                if (stop == Stop::Cancel)
                    dialog->cancel();
                else
                    QTest::keyClick(dialog, Qt::Key_Escape);
            }
        });
        watch.start();
        openEditor(path);
        watch.stop();
        const double end = seconds(clock);
        if (stop == Stop::None) {
            state.SetIterationTime(std::max(longestStill, 1e-9));
            state.counters["tail_s"] = end - lastChange;
            state.counters["open_s"] = end;
        } else {
            state.SetIterationTime(stoppedAt < 0 ? end : end - stoppedAt);
            state.counters["stopped_at_s"] = stoppedAt;
        }
    }
    OpenProgress::setDelay(1000);
    closeEditor();
}

void copyAndSync(benchmark::State &state, QString path)
{
    const QString target = bench::scratchFolder() + QStringLiteral("/cp-target.ini");
    const QString command = QStringLiteral("cp %1 %2 && sync").arg(shellQuote(path), shellQuote(target));
    for (auto _ : state)
        state.SetIterationTime(bench::runShell(command));
}

// "Update INI": the text written to a temporary file, flushed, renamed over
// the target, and the lists brought up to date. Each turn also copies the
// same file and syncs (the reference), so that both medians are taken under
// the same load; the first turn, whose stamp of a file copied just before
// the open is a hash, counts like any other.
void update(benchmark::State &state, QString path)
{
    const QString copy = bench::scratchCopy(path, QStringLiteral("update.ini"));
    const QString target = bench::scratchFolder() + QStringLiteral("/cp-target.ini");
    const QString command = QStringLiteral("cp %1 %2 && sync").arg(shellQuote(path), shellQuote(target));
    frmINIEditor *form = openEditor(copy);
    std::vector<double> updates;
    std::vector<double> copies;
    for (auto _ : state) {
        bench::runShell(QStringLiteral("rm -f %1 && sync").arg(shellQuote(target)));
        copies.push_back(bench::runShell(command));
        QElapsedTimer timer;
        timer.start();
        form->cmdAdd_Click();
        updates.push_back(seconds(timer));
        state.SetIterationTime(updates.back());
    }
    state.counters["median_s"] = median(updates);
    state.counters["reference_median_s"] = median(copies);
    state.SetLabel("reference=cp + sync of the same file, taking turns");
    if (!messagebox::takeRecorded().isEmpty())
        state.SkipWithError("the update reported a failure");
    closeEditor();
}

// The editor on a copy of `path` with its last game and that game's first key
// chosen, as the user has them while editing; the caret near the top.
frmINIEditor *openAtLastGame(const QString &path, const QString &copyName)
{
    frmINIEditor *form = openEditor(bench::scratchCopy(path, copyName));
    auto *names = child<QListView>(form, "ListNames");
    names->setCurrentIndex(names->model()->index(names->model()->rowCount() - 1, 0));
    auto *keys = child<QListView>(form, "ListKey1");
    keys->setCurrentIndex(keys->model()->index(0, 0));
    // At the end of the first line: what is typed there changes no head.
    auto *edit = child<ByteTextEdit>(form, "Text1");
    edit->placeCaret(edit->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, 0UL));
    QCoreApplication::processEvents();
    return form;
}

// When a file last took its name in a folder (a rename onto it: the end of a
// write), as inotify tells it on a thread of its own, so that what a window
// does after a write is timed from the moment the file holds the new text.
class RenameClock {
public:
    RenameClock(const QString &folder, const QString &name) : m_name(QFile::encodeName(name))
    {
        m_fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (m_fd < 0 || ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_MOVED_TO) < 0
            || ::pipe(m_stop) != 0) {
            std::fprintf(stderr, "inotify: %s\n", std::strerror(errno));
            std::exit(1);
        }
        m_thread = std::thread([this] { run(); });
    }
    ~RenameClock()
    {
        const char byte = 0;
        if (::write(m_stop[1], &byte, 1) != 1)
            std::abort();
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
        ::close(m_fd);
    }
    // Seconds since the last rename onto the name.
    double sinceLast() const { return static_cast<double>(now() - m_last.load()) / 1e9; }

private:
    static qint64 now()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void run()
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            pollfd fds[2] = { { m_fd, POLLIN, 0 }, { m_stop[0], POLLIN, 0 } };
            if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
                return;
            const qint64 seen = now();
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0 && m_name == event->name)
                    m_last = seen;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }
    QByteArray m_name;
    int m_fd = -1;
    int m_stop[2] = { -1, -1 };
    std::atomic<qint64> m_last { 0 };
    std::thread m_thread;
};

// Ctrl+S on an edited text, then the next typed key shown: the write and all
// the window does after it before the key is on screen. Each turn also times
// the write alone, of the same text to a file beside it, under the same load;
// what the window adds (after_write_median_s) is timed from the moment the
// new file took the name to the key's paint.
// With `rereadAll`, the window also re-reads the file's section list after
// the write, as every save did before it refilled only what changed.
void saveThenKey(benchmark::State &state, QString path, bool rereadAll)
{
    frmINIEditor *form = openAtLastGame(path, QStringLiteral("save-then-key.ini"));
    auto *edit = child<ByteTextEdit>(form, "Text1");
    const QString beside = bench::scratchCopy(path, QStringLiteral("write-alone.ini"));
    const RenameClock renamed(bench::scratchFolder(), QStringLiteral("save-then-key.ini"));
    std::vector<double> saves;
    std::vector<double> writes;
    std::vector<double> after;
    for (auto _ : state) {
        QTest::keyClick(edit, Qt::Key_X); // an edit to save
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        if (!editorupdate::write(beside, edit->bytes(), nullptr).ok)
            state.SkipWithError("the write failed");
        writes.push_back(seconds(timer));
        timer.restart();
        form->cmdAdd_Click();
        if (rereadAll)
            form->LoadSectionNames();
        QTest::keyClick(edit, Qt::Key_Y);
        QCoreApplication::processEvents();
        saves.push_back(seconds(timer));
        after.push_back(renamed.sinceLast());
        state.SetIterationTime(saves.back());
    }
    state.counters["median_s"] = median(saves);
    state.counters["reference_median_s"] = median(writes);
    state.counters["after_write_median_s"] = median(after);
    state.SetLabel("reference=the write alone, taking turns");
    if (!messagebox::takeRecorded().isEmpty())
        state.SkipWithError("the update reported a failure");
    messagebox::setNextAnswers({ messagebox::Answer::Discard });
    closeEditor();
    messagebox::takeRecorded();
}

void registerAll()
{
    for (const Size &size : kSizes) {
        const QString path = fileOf(size);
        const bool large = size.bytes > (10LL << 20);
        const int slow = large ? 3 : 20;
        const int quick = large ? 10 : 50;
        benchmark::RegisterBenchmark(
            name("open", size).c_str(), fullOpen, path, reported("cat", size, quick), true)
            ->UseManualTime()
            ->Iterations(slow)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            name("open_uncoloured", size).c_str(), fullOpen, path, reported("cat", size, quick), false)
            ->UseManualTime()
            ->Iterations(slow)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("open_coloured", size).c_str(), pairedOpen, path)
            ->UseManualTime()
            ->Iterations(large ? 7 : 21)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            name("bare_load", size).c_str(), bareLoad, path, reported("cat", size, quick))
            ->UseManualTime()
            ->Iterations(slow)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("cat", size).c_str(), catFile, path)
            ->UseManualTime()
            ->Iterations(quick)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("grep_heads", size).c_str(), grepHeads, path)
            ->UseManualTime()
            ->Iterations(quick)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            name("scan", size).c_str(), sectionScan, path, reported("grep_heads", size, quick))
            ->UseManualTime()
            ->Iterations(quick)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            name("click_last_name", size).c_str(), clickLastName, path, reported("cat", size, quick))
            ->UseManualTime()
            ->Iterations(quick)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            name("find_first_near_end", size).c_str(), findFirstNearEnd, path, reported("cat", size, quick))
            ->UseManualTime()
            ->Iterations(quick)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("cp_sync", size).c_str(), copyAndSync, path)
            ->UseManualTime()
            ->Iterations(slow)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("update", size).c_str(), update, path)
            ->UseManualTime()
            ->Iterations(large ? 7 : 20)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("save_then_key", size).c_str(), saveThenKey, path, false)
            ->UseManualTime()
            ->Iterations(large ? 5 : 20)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("save_then_key_reread", size).c_str(), saveThenKey, path, true)
            ->UseManualTime()
            ->Iterations(large ? 5 : 20)
            ->Unit(benchmark::kMillisecond);
    }
    // Typing: each edit beside the same edit at the end of the small file.
    const Size &small = kSizes[0];
    const Size &large = kSizes[1];
    const struct {
        const char *label;
        Edit edit;
    } edits[] = { { "key", Edit::Key }, { "enter", Edit::Enter }, { "paste", Edit::Paste },
        { "undo", Edit::Undo } };
    const struct {
        const char *label;
        Place place;
    } places[] = { { "top", Place::Top }, { "middle", Place::Middle }, { "end", Place::End } };
    for (const auto &edit : edits) {
        const std::string reference = std::string("editor/") + edit.label + "/" + small.label + "/end";
        benchmark::RegisterBenchmark(
            reference.c_str(), typing, fileOf(small), Place::End, edit.edit, std::string())
            ->UseManualTime()
            ->Iterations(20)
            ->Unit(benchmark::kMillisecond);
        for (const auto &place : places) {
            const std::string what
                = std::string("editor/") + edit.label + "/" + large.label + "/" + place.label;
            benchmark::RegisterBenchmark(what.c_str(), typing, fileOf(large), place.place, edit.edit,
                reference + "/iterations:20/manual_time")
                ->UseManualTime()
                ->Iterations(5)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("editor/key_after_update/100M", keyAfterUpdate, fileOf(large),
        std::string("editor/key/1M/end/iterations:20/manual_time"))
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    // A 1 GB open: the progress bar and how soon Cancel and Escape act.
    const Size huge { "1G", 1LL << 30 };
    benchmark::RegisterBenchmark("editor/open_progress/1G", openProgress, huge, Stop::None, 0.0)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    for (const double after : { 0.5, 2.45 }) {
        for (const Stop stop : { Stop::Cancel, Stop::Escape }) {
            const std::string what = std::string("editor/open_")
                + (stop == Stop::Cancel ? "cancel" : "escape") + "_at_" + (after < 1 ? "0.5s" : "2.45s")
                + "/1G";
            benchmark::RegisterBenchmark(what.c_str(), openProgress, huge, stop, after)
                ->UseManualTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    }
    // Beside the ordinary file of half its size.
    benchmark::RegisterBenchmark("editor/open_one_line/200M", openOneLongLine, reported("open", kSizes[1], 3))
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    // Beside the same key at the end of the small file.
    for (const auto &[label, key] : { std::pair { "key", Qt::Key_X }, std::pair { "end", Qt::Key_End } }) {
        const std::string what = std::string("editor/one_line_") + label + "/200M";
        benchmark::RegisterBenchmark(
            what.c_str(), oneLongLineKey, key, std::string("editor/key/1M/end/iterations:20/manual_time"))
            ->UseManualTime()
            ->Iterations(10)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    classiclook::apply(app);
    messagebox::setRecording(true);
    appfolder::overrideForTesting(bench::scratchFolder());
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    closeEditor();
    benchmark::Shutdown();
    return 0;
}

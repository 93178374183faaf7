#include "editor/frmINIEditor.h"
#include "ui_frmINIEditor.h"

#include "core/CodePage.h"
#include "core/IniText.h"
#include "core/KeySearch.h"
#include "editor/BackgroundWork.h"
#include "editor/CutListModel.h"
#include "editor/DiskWatch.h"
#include "editor/EditorFind.h"
#include "editor/EditorPlace.h"
#include "editor/EditorUpdate.h"
#include "editor/FileDrop.h"
#include "editor/FindBox.h"
#include "editor/GeometryAnchors.h"
#include "editor/IniColours.h"
#include "editor/LineNumbers.h"
#include "editor/ListTwins.h"
#include "editor/OpenProgress.h"
#include "editor/TextSplit.h"
#include "editor/WindowSlot.h"
#include "fileio/FileRead.h"
#include "platform/AppFolder.h"
#include "platform/BusyCursor.h"
#include "platform/CaptionFit.h"
#include "platform/ClassicLook.h"
#include "platform/HugePages.h"
#include "platform/KeyboardAids.h"
#include "platform/MessageBox.h"
#include "platform/ShowOnce.h"
#include "platform/WindowWait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QScopeGuard>
#include <QSessionManager>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTime>
#include <QTimer>

#include <future>
#include <system_error>
#include <utility>

namespace {

const QString kCountCaption = QStringLiteral("Total Number Of ROMS In The Ferox.ini File");
const QString kCaption = QStringLiteral("Change Existing Ferox INI Entry...");

bool sameFile(const QString &a, const QString &b)
{
    return a == b || (!a.isEmpty() && !b.isEmpty() && QFileInfo(a) == QFileInfo(b));
}

QString quoted(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

} // namespace

frmINIEditor::frmINIEditor(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::frmINIEditor>()), m_names(new CutListModel(this)),
      m_keys(new CutListModel(this)), m_values(new CutListModel(this))
{
    ui->setupUi(this);
    setWindowIcon(classiclook::windowIcon());
    // A single border with minimise and maximise buttons; it can be resized.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // It opens at the designed size, which is also the smallest.
    setMinimumSize(size());

    FileDialog.DialogTitle = QStringLiteral("Open Ferox.ini File");

    // The key reader finds the first section of a name: later ones are never
    // read, and the list says so.
    m_names->setDuplicateNote(QStringLiteral(" (duplicate, not read)"));
    ui->ListNames->setModel(m_names);
    ui->ListKey1->setModel(m_keys);
    ui->ListKey2->setModel(m_values);

    // A list's click handler runs whenever the user selects another item, by
    // mouse or keyboard. Emptying a list selects nothing and runs nothing, and
    // neither does the focus arriving in a list (the view then only moves its
    // current-item frame).
    connect(ui->ListNames->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this](const QItemSelection &selected) {
            if (!selected.isEmpty())
                ListNames_Click();
        });
    connect(ui->ListKey1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this](const QItemSelection &selected) {
            if (!selected.isEmpty())
                ListKey1_Click();
        });
    connect(ui->GetSettings, &QPushButton::clicked, this, &frmINIEditor::GetSettings_Click);
    connect(ui->Command1, &QPushButton::clicked, this, &frmINIEditor::Command1_Click);
    connect(ui->cmdFindFirst, &QPushButton::clicked, this, &frmINIEditor::cmdFindFirst_Click);
    connect(ui->cmdFindNext, &QPushButton::clicked, this, &frmINIEditor::cmdFindNext_Click);
    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmINIEditor::cmdAdd_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &frmINIEditor::Command2_Click);
    // Logging out ends the program without closing its windows: unsaved edits
    // get the same question there, and Cancel asks the desktop to stay.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!ui->Text1->changedSinceSave() || !manager.allowsInteraction())
            return;
        const bool settled = confirmDiscard();
        manager.release();
        if (!settled)
            manager.cancel();
    });
    addWorkingAids();
    keyboardaids::apply(this);
}

QString frmINIEditor::s_fileOnLoad;

void frmINIEditor::addWorkingAids()
{
    // The text area and the lists take the room a larger window gives; the
    // buttons keep their distance from the right and bottom edges.
    auto *anchors = m_anchors = new GeometryAnchors(this);
    const double names = 193.0 / 603, keys = 193.0 / 603, values = 217.0 / 603;
    anchors->add(ui->txtPath, { 0, 0, 1, 0 });
    anchors->add(ui->ListNames, { 0, 0, names, 0.5 });
    anchors->add(ui->ListKey1, { names, 0, keys, 0.5 });
    anchors->add(ui->ListKey2, { names + keys, 0, values, 0.5 });
    anchors->add(ui->Frame3, { 0, 0.5, 1, 0.5 });
    anchors->add(ui->Text1, { 0, 0, 1, 1 });
    for (QWidget *corner : { static_cast<QWidget *>(ui->Frame1), static_cast<QWidget *>(ui->cmdAdd),
             static_cast<QWidget *>(ui->Command2), static_cast<QWidget *>(ui->GetSettings) })
        anchors->add(corner, { 1, 1, 0, 0 });
    anchors->add(ui->Label2, { 0, 1, 1, 0 });
    m_split
        = new TextSplit(this, anchors, { ui->ListNames, ui->ListKey1, ui->ListKey2 }, ui->Frame3, ui->Text1);
    m_split->apply();
    new LineNumbers(ui->Text1);

    // The title names the file and marks unsaved edits; the status line at the
    // foot tells when the file was last saved or reloaded.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setAutoFillBackground(true);
    m_status->hide();
    connect(ui->Text1, &QsciScintilla::modificationChanged, this, [this](bool changed) {
        updateTitle();
        if (changed)
            showStatus({});
    });
    m_watch = new DiskWatch(this);
    connect(m_watch, &DiskWatch::changed, this, &frmINIEditor::fileChangedOnDisk);

    auto *findBox = new FindBox(this);
    findBox->setGeometry(392, 422, 233, 27);
    anchors->add(findBox, { 1, 1, 0, 0 });
    auto *find = new EditorFind(this, findBox, ui->ListNames, ui->Text1, ui->cmdFindNext);
    find->setFindPrevious([this] { findPreviousKeyLine(); });

    if (IniColours::enabled())
        new IniColours(ui->Text1);
    new ListTwins(ui->ListKey1, ui->ListKey2);
    for (QListView *list : { ui->ListNames, ui->ListKey1, ui->ListKey2 })
        new FullTextTips(list);

    auto *drop = new FileDrop(this);
    drop->watch(ui->txtPath);
    drop->watch(ui->Text1->viewport());
    connect(drop, &FileDrop::fileDropped, this, &frmINIEditor::switchToFile);
    connect(ui->txtPath, &QLineEdit::returnPressed, this,
        [this] { switchToFile(appfolder::besideProgram(ui->txtPath->text())); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, ui->GetSettings,
        &QPushButton::click);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, ui->cmdAdd,
        &QPushButton::click);

    // Every control is in its designed place now: a larger font grows them all.
    auto *fit = new CaptionFit(this);
    connect(fit, &CaptionFit::refitted, anchors, [anchors, fit] {
        anchors->setScale(fit->scaleX(), fit->scaleY());
        anchors->apply();
    });
    fit->fit();
}

frmINIEditor::~frmINIEditor() = default;

void frmINIEditor::Form_Load()
{
    // The dialog starts beside the program, where its Ferox.ini is; a relative
    // path in txtPath means a file there too (see appfolder::besideProgram).
    FileDialog.InitialDir = appfolder::path();
    ui->cmdFindNext->setEnabled(false);
    if (s_fileOnLoad.isEmpty())
        GetSettings_Click();
    else
        openFile(std::exchange(s_fileOnLoad, QString()));
    showCount();
}

frmINIEditor *frmINIEditor::showOn(const QString &file)
{
    // The caller's relative file is one in the current folder (a command
    // line's is); the editor takes its own relative paths from the program's.
    const QString path = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
    if (frmINIEditor *open = showonce::instance<frmINIEditor>()) {
        open->switchToFile(path);
        return showonce::show<frmINIEditor>();
    }
    s_fileOnLoad = path;
    frmINIEditor *form = showonce::show<frmINIEditor>();
    s_fileOnLoad.clear();
    return form;
}

// The scan and the search for duplicate names run on a worker thread, so that
// an open's progress window is fed and heard meanwhile, and so that the text
// can be read beside them.
struct frmINIEditor::SectionScan {
    QList<QByteArray> names;
    QBitArray later;
    settingsfile::ReadResult result; // read once the job is done
    std::atomic<qint64> read = 0;
    std::atomic<qint64> listed = 0; // of the bytes read, those whose names are listed
    std::atomic<bool> reading = false; // the file is open and being read
    std::optional<backgroundwork::Job> job; // last: it ends before what it fills goes

    // Reading the file counts for half of it, listing the names for the other half.
    qint64 progress() const { return (read + listed) / 2; }
};

void frmINIEditor::openFile(const QString &path)
{
    const QString before = std::exchange(FileDialog.FileName, path);
    openPicked(path, before);
}

void frmINIEditor::switchToFile(const QString &path)
{
    if (mayReplaceTextWith(path)) {
        openFile(path);
        return;
    }
    // The text stays with its file, and so does the path the lists read.
    ui->txtPath->setText(LoadedPath);
}

// Opening replaces the text, so unsaved edits are settled first. A path with
// no file behind it, or a folder, loads nothing and needs no question.
bool frmINIEditor::mayReplaceTextWith(const QString &path)
{
    return !QFileInfo::exists(path) || filebytes::notRegularFile(path) || confirmDiscard();
}

void frmINIEditor::GetSettings_Click()
{
    FileDialog.Filter = QStringLiteral("Ferox INI Files|*.ini");
    // A cancel keeps the dialog's last file name, so it reloads the last pick.
    const QString before = FileDialog.FileName;
    // Cancel in the dialog, or at the question about unsaved edits, leaves
    // everything as it was, the dialog's last pick included.
    if (!FileDialog.ShowOpen(this))
        return;
    if (!mayReplaceTextWith(FileDialog.FileName)) {
        FileDialog.FileName = before;
        return;
    }
    openPicked(FileDialog.FileName, before);
}

void frmINIEditor::openPicked(const QString &path, const QString &fileNameBefore)
{
    // What closed windows freed before, and what this open replaces (the old
    // lists go with `before`), goes back to the system: a large file's is
    // otherwise kept and counts on top of the next.
    hugepages::giveBackFreed();
    const auto giveBack = qScopeGuard(&hugepages::giveBackFreed);
    const Lists before = saveLists();
    // A cancelled open puts back what it changed; the text area kept its text.
    const auto undo = [&] {
        restoreLists(before);
        FileDialog.FileName = fileNameBefore;
    };
    ui->txtPath->setText(path);
    OpenProgress progress(this, path, QFileInfo(path).size());
    settingsfile::ReadResult names;
    bool textRead = false;
    {
        const BusyCursor busy;
        m_names->setItems({}, listDecoder());
        const auto scan = startSectionScan();
        qint64 loaded = 0;
        const auto reportBoth = [&] { return progress.readBoth(scan->progress(), loaded); };
        // The text is read beside the names once the scan has the file open
        // (a file it cannot open leaves the text as it was), and is taken
        // only if the names could be read too.
        scan->job->wait(reportBoth, [&] { return scan->reading.load(); });
        if (!scan->job->done()) {
            m_loadProgress = [&](qint64 bytes) {
                loaded = bytes;
                return reportBoth();
            };
            m_loadVerdict = [&]() -> std::optional<bool> {
                if (!scan->job->done())
                    return std::nullopt;
                return scan->result.ok;
            };
            loadText();
            textRead = true;
            m_loadProgress = nullptr;
            m_loadVerdict = nullptr;
            if (progress.cancelled())
                scan->job->stop();
            scan->job->wait(reportBoth);
        }
        names = takeSectionNames(*scan);
    }
    if (!names.ok) {
        switch (names.error.kind) {
        case FileError::Kind::Cancelled:
            undo();
            break;
        case FileError::Kind::NotFound:
            messagebox::inform(this, QStringLiteral("File Not Found"));
            break;
        case FileError::Kind::NotRegular: // a FIFO, device or folder, refused before opening
            refuseNotRegular(ui->txtPath->text(), names.error);
            break;
        default:
            break;
        }
        return;
    }
    if (!textRead) {
        const BusyCursor busy;
        m_loadProgress = [&progress](qint64 bytes) { return progress.loaded(bytes); };
        loadText();
        m_loadProgress = nullptr;
    }
    if (progress.cancelled()) {
        undo();
        return;
    }
    forgetKeyChoice();
    const QString note = editorupdate::openingNote(path);
    if (!note.isEmpty())
        messagebox::show(this, messagebox::programTitle(), note, messagebox::Icon::Warning);
}

void frmINIEditor::refuseNotRegular(const QString &path, const FileError &error)
{
    messagebox::show(this, messagebox::programTitle(),
        QStringLiteral("Could not open \"%1\": %2.").arg(QDir::toNativeSeparators(path), error.text),
        messagebox::Icon::Critical);
}

// The keys, the chosen key line and what Find Next looks for belong to the
// game chosen before: a new game or file starts without them.
void frmINIEditor::forgetKeyChoice()
{
    m_keys->setItems({}, listDecoder());
    m_values->setItems({}, listDecoder());
    m_searchText.clear();
    setAutoSizedText(ui->lblEntries, QString());
    setAutoSizedText(ui->lblFindNext, QString());
    ui->cmdFindNext->setEnabled(false);
}

frmINIEditor::Lists frmINIEditor::saveLists() const
{
    return { ui->txtPath->text(), m_names->state(), m_keys->state(), m_values->state(),
        selectedRow(ui->ListNames), selectedRow(ui->ListKey1), selectedRow(ui->ListKey2), m_listEncoding };
}

void frmINIEditor::restoreLists(const Lists &lists)
{
    ui->txtPath->setText(lists.path);
    m_listEncoding = lists.encoding;
    // As they were: a long list is not searched for duplicates again.
    const auto restore = [](QListView *view, CutListModel *model, const CutListModel::Items &items, int row) {
        model->setItems(items);
        selectSilently(view, model, row);
    };
    restore(ui->ListNames, m_names, lists.names, lists.nameRow);
    restore(ui->ListKey1, m_keys, lists.keys, lists.keyRow);
    restore(ui->ListKey2, m_values, lists.values, lists.valueRow);
    showCount();
}

void frmINIEditor::selectSilently(QListView *view, CutListModel *model, int row)
{
    if (row < 0)
        return;
    // Putting the choice back is not a new choice: no handler runs.
    const QSignalBlocker quiet(view->selectionModel());
    view->selectionModel()->setCurrentIndex(model->index(row), QItemSelectionModel::ClearAndSelect);
    view->scrollTo(model->index(row));
    view->viewport()->update();
}

std::unique_ptr<frmINIEditor::SectionScan> frmINIEditor::startSectionScan() const
{
    auto scan = std::make_unique<SectionScan>();
    scan->job.emplace([scan = scan.get(), path = appfolder::besideProgram(ui->txtPath->text())](
                          const std::atomic<bool> &stop) {
        scan->result = settingsfile::readSectionNames(path, &scan->names, [&](qint64 bytes) {
            scan->read = bytes;
            scan->reading = true;
            return !stop;
        });
        if (scan->result.error.kind != FileError::Kind::Cancelled) {
            scan->later = CutListModel::laterDuplicates(scan->names, [&](qsizetype done) {
                scan->listed
                    = scan->names.isEmpty() ? scan->read.load() : scan->read * done / scan->names.size();
                return !stop;
            });
            scan->listed = scan->read.load();
        }
        if (stop) {
            scan->result.ok = false;
            scan->result.error = { FileError::Kind::Cancelled, 0, QStringLiteral("Cancelled") };
            // Freed here, not on the thread the user waits for.
            scan->names = {};
            scan->later = {};
        }
    });
    return scan;
}

settingsfile::ReadResult frmINIEditor::takeSectionNames(SectionScan &scan)
{
    const settingsfile::ReadResult result = scan.result;
    // A cancelled scan lists nothing: the open puts the lists back as they were.
    if (!result.ok && result.error.kind == FileError::Kind::Cancelled)
        return result;
    // A scan that failed part-way still lists what it read.
    m_listEncoding = result.encoding;
    m_names->setItems({ std::move(scan.names), listDecoder(), std::move(scan.later) });
    showCount();
    return result;
}

settingsfile::ReadResult frmINIEditor::LoadSectionNames()
{
    m_names->setItems({}, listDecoder());
    const auto scan = startSectionScan();
    scan->job->wait({});
    return takeSectionNames(*scan);
}

Decoder frmINIEditor::decoderFor(ini::Encoding encoding)
{
    return [encoding](QByteArrayView bytes) { return ini::decode(bytes, encoding); };
}

Decoder frmINIEditor::listDecoder() const
{
    return decoderFor(m_listEncoding);
}

void frmINIEditor::showCount()
{
    // A chosen name that the list cuts off is shown whole after the count.
    const int row = selectedRow(ui->ListNames);
    const QString cut = row >= 0 && isCutOff(ui->ListNames, m_names->index(row))
        ? m_names->index(row).data().toString()
        : QString();
    QString line = countLine(kCountCaption, m_names->rowCount(), cut);
    if (m_names->isLaterDuplicate(row))
        line += QStringLiteral(" - a duplicate: the keys shown are those of the first game of this name");
    ui->Label2->setText(line);
}

void frmINIEditor::Command1_Click()
{
    loadText();
}

bool frmINIEditor::loadText()
{
    const QString path = appfolder::besideProgram(ui->txtPath->text());
    settingsfile::createIfMissing(path);
    return loadTextOf(path);
}

bool frmINIEditor::loadTextOf(const QString &path)
{
    const qint64 started = diskstamp::now();
    FileError error;
    // On failure Text1 keeps its text, so LoadedPath still names its file.
    if (path.isEmpty() || !ui->Text1->loadFile(path, &error, m_loadProgress, m_loadVerdict))
        return false;
    LoadedPath = path;
    m_stamp = diskstamp::take(path, started, ui->Text1->pieces());
    m_watch->watch(path);
    showStatus({});
    updateTitle();
    return true;
}

int frmINIEditor::selectedRow(const QListView *list)
{
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void frmINIEditor::ListNames_Click()
{
    forgetKeyChoice();
    LoadSectionKeys();
    showCount();
    showChosenSection();
}

// The chosen game's section is shown in the text, its head the top line; the
// caret, the selection (where Find Next goes on from) and the focus stay.
void frmINIEditor::showChosenSection()
{
    const editorplace::ListChoice name = editorplace::choiceAt(m_names->items(), selectedRow(ui->ListNames));
    if (name.occurrence < 0)
        return;
    const qsizetype head = editorplace::headOffset(ui->Text1->bytes(), name.item, name.occurrence);
    if (head >= 0)
        editorplace::showLineAtTop(ui->Text1, head);
}

void frmINIEditor::LoadSectionKeys()
{
    const QString path = appfolder::besideProgram(ui->txtPath->text());
    m_keys->setItems({}, listDecoder());
    m_values->setItems({}, listDecoder());
    const int row = selectedRow(ui->ListNames);
    if (row < 0)
        return;
    // The whole name: the list may show it cut.
    settingsfile::KeyLines lines;
    const settingsfile::ReadResult result = settingsfile::readSectionKeys(path, m_names->whole(row), &lines);
    if (!result.ok) {
        if (result.error.kind == FileError::Kind::NotFound)
            messagebox::inform(this, QStringLiteral("File Not Found"));
        return;
    }
    m_keys->setItems(std::move(lines.keys), listDecoder());
    m_values->setItems(std::move(lines.values), listDecoder());
}

void frmINIEditor::setAutoSizedText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->adjustSize();
}

void frmINIEditor::formSearchText()
{
    const int row = selectedRow(ui->ListKey1);
    QItemSelectionModel *values = ui->ListKey2->selectionModel();
    if (row >= 0 && row < m_values->rowCount()) {
        const QModelIndex index = m_values->index(row);
        values->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        ui->ListKey2->scrollTo(index);
    } else {
        values->clearSelection();
    }
    // The search takes the whole key and value; the label may show them cut.
    const int valueRow = selectedRow(ui->ListKey2);
    m_searchText = (row >= 0 ? m_keys->whole(row) : QByteArray()) + '='
        + (valueRow >= 0 ? m_values->whole(valueRow) : QByteArray());
    setAutoSizedText(ui->lblEntries, shownText(m_searchText, listDecoder()));
}

void frmINIEditor::ListKey1_Click()
{
    formSearchText();
    setAutoSizedText(ui->lblFindNext, QStringLiteral("Find ") + ui->lblEntries->text());
    ui->cmdFindNext->setEnabled(true);
    cmdFindFirst_Click();
}

void frmINIEditor::cmdFindFirst_Click()
{
    const QByteArray &needle = m_searchText;
    if (needle.isEmpty())
        return;
    const QByteArrayView text = ui->Text1->bytes();
    // The key list shows the chosen section, so its line is looked for from
    // that section's head on: the same line may stand in earlier games.
    qsizetype head = -1;
    const int row = selectedRow(ui->ListNames);
    if (row >= 0) {
        const ini::Section section = ini::findSection(text, m_names->whole(row));
        head = section.found ? section.head.begin : -1;
    }
    const qsizetype at = keysearch::findFirstFrom(text, needle, head);
    if (at < 0) {
        messagebox::inform(this, QStringLiteral("Not found"));
        return;
    }
    ui->Text1->selectBytes(at, needle.size());
}

void frmINIEditor::cmdFindNext_Click()
{
    formSearchText();
    const QByteArray &needle = m_searchText;
    if (needle.isEmpty())
        return;
    const keysearch::NextStep step
        = keysearch::findNext(ui->Text1->bytes(), needle, ui->Text1->selectionStartOffset());
    ui->Text1->placeCaret(step.caret);
    if (step.match < 0) {
        messagebox::inform(this, QStringLiteral("Not Found"));
        return;
    }
    ui->Text1->selectBytes(step.match, needle.size());
}

void frmINIEditor::findPreviousKeyLine()
{
    formSearchText();
    const QByteArray &needle = m_searchText;
    if (needle.isEmpty())
        return;
    const qsizetype at
        = keysearch::findPrevious(ui->Text1->bytes(), needle, ui->Text1->selectionStartOffset());
    if (at < 0) {
        messagebox::inform(this, QStringLiteral("Not Found"));
        return;
    }
    ui->Text1->selectBytes(at, needle.size());
}

bool frmINIEditor::maySwitchTo(const QString &typed)
{
    // A folder (or a FIFO, a device) cannot be opened, as Enter and the command line say.
    if (const std::optional<FileError> odd = filebytes::notRegularFile(typed)) {
        refuseNotRegular(typed, *odd);
        return false;
    }
    // A typing slip would otherwise leave a new empty file behind.
    if (typed.isEmpty() || QFileInfo::exists(typed))
        return true;
    return messagebox::ask(this,
               QStringLiteral("%1 does not exist.\n\nCreate it as an empty file and work on it, or cancel?")
                   .arg(quoted(typed)),
               { messagebox::Answer::Create })
        == messagebox::Answer::Create;
}

void frmINIEditor::cmdAdd_Click()
{
    // Nothing is written before the typed path is known to be usable.
    if (!sameFile(ui->txtPath->text(), LoadedPath) && !maySwitchTo(ui->txtPath->text()))
        return;
    if (!LoadedPath.isEmpty()) {
        // The lists follow the text when the path box names the file written.
        const bool listsFollow = sameFile(appfolder::besideProgram(ui->txtPath->text()), LoadedPath);
        std::optional<WrittenHeads> heads;
        const Written written = writeBack(listsFollow ? &heads : nullptr);
        // A refused or failed write keeps the text and the file it belongs to.
        if (written == Written::Cancelled || written == Written::Failed)
            return;
        if (written == Written::Reloaded
            && sameFile(appfolder::besideProgram(ui->txtPath->text()), LoadedPath)) {
            showWrittenText();
            return;
        }
        if (written == Written::Reloaded) {
            LoadSectionNames();
            m_keys->setItems({}, listDecoder());
            m_values->setItems({}, listDecoder());
            return;
        }
        // The file the lists read now holds the text: they are brought up to
        // date from it, and the user's place stays.
        if (written == Written::Done && listsFollow) {
            showWrittenText(std::move(heads));
            return;
        }
    }
    // A path typed into txtPath becomes the file worked on, and its own text
    // comes with it: the next update then writes that file's text back, never
    // the text of the file before.
    const QString typed = appfolder::besideProgram(ui->txtPath->text());
    if (!sameFile(typed, LoadedPath)) {
        settingsfile::createIfMissing(typed);
        if (LoadedPath.isEmpty() && ui->Text1->changedSinceSave()) {
            // Text typed before any file was loaded belongs to no file yet:
            // it stays, and the next update writes it to the typed file.
            LoadedPath = typed;
            m_stamp = diskstamp::takeFromDisk(typed, diskstamp::now());
        } else {
            // A file that cannot be read leaves Text1 with the file it holds.
            if (loadTextOf(typed))
                forgetKeyChoice();
        }
    }
    const BusyCursor busy;
    LoadSectionNames();
    m_keys->setItems({}, listDecoder());
    m_values->setItems({}, listDecoder());
}

void frmINIEditor::showWrittenText(std::optional<WrittenHeads> known)
{
    const QByteArrayView text = ui->Text1->bytes();
    const ini::Encoding encoding = ini::encodingOf(text);
    // Another byte-order mark decodes every item differently.
    const bool force = encoding != m_listEncoding;
    m_listEncoding = encoding;
    const int keyRow = selectedRow(ui->ListKey1);
    if (!known) {
        known.emplace();
        known->at = settingsfile::sectionHeadsIn(text, m_names->items(), &known->unchanged);
    }
    const bool unchanged = known->unchanged;
    const QList<qsizetype> &heads = known->at;
    if (force || !unchanged)
        refill(ui->ListNames, m_names, settingsfile::sectionNamesIn(text), selectedRow(ui->ListNames), true);
    showCount();
    const int nameRow = selectedRow(ui->ListNames);
    settingsfile::KeyLines lines;
    if (nameRow >= 0) {
        // The keys are those of the first section of that name.
        const QByteArray name = m_names->whole(nameRow);
        lines = settingsfile::sectionKeysIn(text, name, heads.value(m_names->items().indexOf(name), -1));
    }
    refill(ui->ListKey1, m_keys, std::move(lines.keys), keyRow, force);
    // The value list follows the key list row for row.
    if (force || m_values->items() != lines.values)
        m_values->setItems(std::move(lines.values), listDecoder());
    const int chosenKey = selectedRow(ui->ListKey1);
    if (chosenKey != selectedRow(ui->ListKey2)) {
        if (chosenKey < 0)
            ui->ListKey2->selectionModel()->clearSelection();
        selectSilently(ui->ListKey2, m_values, chosenKey);
    }
}

// Refills a list only when its items changed, choosing the same item again
// (same bytes, same occurrence) without running the list's click handler.
void frmINIEditor::refill(
    QListView *view, CutListModel *model, QList<QByteArray> items, int chosenRow, bool force)
{
    if (!force && model->items() == items)
        return;
    const editorplace::ListChoice chosen = editorplace::choiceAt(model->items(), chosenRow);
    const int row = editorplace::rowOf(items, chosen);
    model->setItems(std::move(items), listDecoder());
    selectSilently(view, model, row);
}

void frmINIEditor::fileChangedOnDisk()
{
    // Not while another question or dialog waits for the user (the change may
    // be the one that question is about): looked at again once it is answered.
    if (QApplication::activeModalWidget() || m_askingAboutDisk || m_writing) {
        QTimer::singleShot(500, this, &frmINIEditor::fileChangedOnDisk);
        return;
    }
    if (LoadedPath.isEmpty() || DiskWatch::looksUnchanged(LoadedPath, m_stamp)
        || !QFileInfo::exists(LoadedPath))
        return;
    if (!ui->Text1->changedSinceSave()) {
        reloadKeepingPlace();
        return;
    }
    // Asked once per change; a later change asks again.
    if (DiskWatch::looksUnchanged(LoadedPath, m_askedAbout))
        return;
    m_askedAbout = diskstamp::takeFromDisk(LoadedPath, diskstamp::now());
    m_askingAboutDisk = true;
    const messagebox::Answer answer = messagebox::ask(this,
        QStringLiteral("%1 has been changed on disk by another program.\n\n"
                       "Reload it (your edits in the editor are lost), or keep your text? If you keep "
                       "it, Update INI asks before it overwrites the other change.")
            .arg(quoted(LoadedPath)),
        { messagebox::Answer::Reload });
    m_askingAboutDisk = false;
    if (answer == messagebox::Answer::Reload)
        reloadKeepingPlace();
}

// The text is read again from disk; the chosen section and key, the caret and
// the scroll position stay where they still exist.
void frmINIEditor::reloadKeepingPlace()
{
    const editorplace::TextPlace place = editorplace::textPlace(ui->Text1);
    if (!loadTextOf(LoadedPath))
        return;
    editorplace::restoreTextPlace(ui->Text1, place);
    if (sameFile(appfolder::besideProgram(ui->txtPath->text()), LoadedPath))
        showWrittenText();
    showStatus(
        QStringLiteral("Reloaded %1: changed on disk").arg(QTime::currentTime().toString(u"HH:mm:ss")));
}

void frmINIEditor::updateTitle()
{
    if (LoadedPath.isEmpty()) {
        setWindowTitle(kCaption);
        return;
    }
    setWindowTitle(QFileInfo(LoadedPath).fileName() + QStringLiteral("[*] - ") + kCaption);
    setWindowModified(ui->Text1->changedSinceSave());
}

void frmINIEditor::showStatus(const QString &text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
    placeStatus();
}

// At the right end of the count caption's row, which the count leaves free.
void frmINIEditor::placeStatus()
{
    const QRect row = ui->Label2->geometry();
    const int width = std::min(m_status->sizeHint().width(), row.width());
    m_status->setGeometry(row.right() + 1 - width, row.top(), width, row.height());
    m_status->raise();
}

void frmINIEditor::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The anchors have placed the controls; the split and the status follow.
    m_split->apply();
    placeStatus();
}

void frmINIEditor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    // Centred like every window; a second editor open at the same time steps
    // aside, so the two are not taken for one.
    m_slot = std::make_unique<WindowSlot>(QStringLiteral("editor"));
    if (m_slot->index() > 0)
        move(pos() + WindowSlot::offsetOf(m_slot->index()));
}

frmINIEditor::Written frmINIEditor::writeBack(std::optional<WrittenHeads> *heads)
{
    // Text in UTF-16 would be written back as 8-bit bytes: no reader could read it.
    if (ini::encodingOf(ui->Text1->bytes()) == ini::Encoding::Utf16) {
        messagebox::show(this, messagebox::programTitle(),
            QStringLiteral("\"%1\" was not written: it %2.\n\nYour text is still in the editor.")
                .arg(QDir::toNativeSeparators(LoadedPath), ini::utf16Reason()),
            messagebox::Icon::Critical);
        return Written::Failed;
    }
    // Checked by the write itself, under the file's lock: a change that came
    // while it waited for another writer is seen too.
    bool overwrite = false;
    editorupdate::Saved written;
    for (;;) {
        WindowWait waiting(this);
        {
            const BusyCursor busy;
            const QByteArrayView text = ui->Text1->bytes();
            // The text stays as it is until the write returns (no input
            // reaches the window, and no reload replaces it), so a second
            // thread may read it meanwhile.
            std::future<WrittenHeads> scan;
            if (heads) {
                try {
                    scan = std::async(std::launch::async, [text, names = m_names->items()] {
                        WrittenHeads found {};
                        found.at = settingsfile::sectionHeadsIn(text, names, &found.unchanged);
                        return found;
                    });
                } catch (const std::system_error &) {
                    // No thread to be had: the heads are found after the write.
                }
            }
            m_writing = true;
            written = editorupdate::write(LoadedPath, text, overwrite ? nullptr : &m_stamp, waiting.wait());
            m_writing = false;
            if (scan.valid()) {
                WrittenHeads found = scan.get();
                if (written.ok)
                    *heads = std::move(found);
            }
        }
        if (!written.changedOnDisk) {
            if (!written.ok) {
                // A failed write leaves the old file, and says so.
                messagebox::show(this, messagebox::programTitle(),
                    QStringLiteral("Could not write \"%1\": %2.\n\nThe file was not changed; "
                                   "your text is still in the editor.")
                        .arg(QDir::toNativeSeparators(LoadedPath), written.error.text),
                    messagebox::Icon::Critical);
                waiting.closeIfAsked();
                return Written::Failed;
            }
            break;
        }
        const messagebox::Answer answer = messagebox::ask(this,
            QStringLiteral("%1 has been changed on disk since it was loaded or saved here.\n\n"
                           "Overwrite it with the text in the editor, reload it (your edits in "
                           "the editor are lost), or cancel?")
                .arg(quoted(LoadedPath)),
            { messagebox::Answer::Overwrite, messagebox::Answer::Reload });
        if (answer == messagebox::Answer::Reload) {
            // A file that is gone cannot be reloaded; the text stays.
            const editorplace::TextPlace place = editorplace::textPlace(ui->Text1);
            if (!QFileInfo::exists(LoadedPath) || !loadTextOf(LoadedPath))
                return Written::Cancelled;
            editorplace::restoreTextPlace(ui->Text1, place);
            return Written::Reloaded;
        }
        if (answer != messagebox::Answer::Overwrite)
            return Written::Cancelled;
        overwrite = true;
    }
    m_stamp = written.stamp;
    ui->Text1->markSaved();
    m_watch->watch(LoadedPath);
    updateTitle();
    showStatus(QStringLiteral("Saved %1").arg(QTime::currentTime().toString(u"HH:mm:ss")));
    return Written::Done;
}

bool frmINIEditor::confirmDiscard()
{
    if (!ui->Text1->changedSinceSave())
        return true;
    messagebox::Answer answer = messagebox::Answer::Cancel;
    if (LoadedPath.isEmpty()) {
        // Nothing was loaded, so there is no file to save to.
        answer = messagebox::ask(this,
            QStringLiteral("The text in the editor has been changed, but no file is loaded to save "
                           "it to.\n\nDiscard the text, or cancel?"),
            { messagebox::Answer::Discard });
    } else {
        answer = messagebox::ask(this,
            QStringLiteral("The text of %1 has been changed since it was loaded or saved.\n\n"
                           "Save the changes (as Update INI does), discard them, or cancel?")
                .arg(quoted(LoadedPath)),
            { messagebox::Answer::Save, messagebox::Answer::Discard });
    }
    switch (answer) {
    case messagebox::Answer::Discard:
        return true;
    case messagebox::Answer::Save:
        cmdAdd_Click();
        // Saved, or reloaded from disk at the user's word: nothing is left to lose.
        return !ui->Text1->changedSinceSave();
    default:
        return false;
    }
}

void frmINIEditor::Command2_Click()
{
    close();
}

void frmINIEditor::closeEvent(QCloseEvent *event)
{
    // Every way of closing the window comes here: Close, the title bar, and
    // the end of the program when this is its last window.
    if (!confirmDiscard()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

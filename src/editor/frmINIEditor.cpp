#include "editor/frmINIEditor.h"
#include "ui_frmINIEditor.h"

#include "editor/EditorFind.h"
#include "editor/FileDrop.h"
#include "editor/FindBox.h"
#include "editor/GeometryAnchors.h"
#include "editor/IniColours.h"
#include "editor/KeySearch.h"
#include "editor/ListTwins.h"
#include "editor/OpenProgress.h"
#include "ini/IniText.h"
#include "platform/AppFolder.h"
#include "platform/BusyCursor.h"
#include "platform/ClassicLook.h"
#include "platform/CodePage.h"
#include "platform/FileBytes.h"
#include "platform/MessageBox.h"
#include "platform/ShowOnce.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStringListModel>

#include <utility>

namespace {

const QString kCountCaption = QStringLiteral("Total Number Of ROMS In The Ferox.ini File");

QStringList decodeAll(const QList<QByteArray> &items)
{
    QStringList out;
    out.reserve(items.size());
    for (const QByteArray &item : items)
        out.append(codepage::decode(item));
    return out;
}

} // namespace

frmINIEditor::frmINIEditor(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::frmINIEditor>()), m_names(new QStringListModel(this)),
      m_keys(new QStringListModel(this)), m_values(new QStringListModel(this))
{
    ui->setupUi(this);
    setWindowIcon(classiclook::windowIcon());
    // A single border with minimise and maximise buttons; it can be resized.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // It opens at the designed size, which is also the smallest.
    setMinimumSize(size());

    FileDialog.DialogTitle = QStringLiteral("Open Ferox.ini File");

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
    addWorkingAids();
}

QString frmINIEditor::s_fileOnLoad;

void frmINIEditor::addWorkingAids()
{
    // The text area and the lists take the room a larger window gives; the
    // buttons keep their distance from the right and bottom edges.
    auto *anchors = new GeometryAnchors(this);
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

    auto *findBox = new FindBox(this);
    findBox->setGeometry(392, 422, 233, 27);
    anchors->add(findBox, { 1, 1, 0, 0 });
    new EditorFind(this, findBox, ui->ListNames, ui->Text1, ui->cmdFindNext);

    if (IniColours::enabled())
        new IniColours(ui->Text1);
    new ListTwins(ui->ListKey1, ui->ListKey2);
    for (QListView *list : { ui->ListNames, ui->ListKey1, ui->ListKey2 })
        new FullTextTips(list);

    auto *drop = new FileDrop(this);
    drop->watch(ui->txtPath);
    drop->watch(ui->Text1->viewport());
    connect(drop, &FileDrop::fileDropped, this, &frmINIEditor::switchToFile);
    connect(ui->txtPath, &QLineEdit::returnPressed, this, [this] { switchToFile(ui->txtPath->text()); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, ui->GetSettings,
        &QPushButton::click);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, ui->cmdAdd,
        &QPushButton::click);
}

frmINIEditor::~frmINIEditor() = default;

void frmINIEditor::Form_Load()
{
    // The dialog starts here, and a relative path in txtPath means a file here.
    QDir::setCurrent(appfolder::path());
    ui->cmdFindNext->setEnabled(false);
    if (s_fileOnLoad.isEmpty())
        GetSettings_Click();
    else
        openFile(std::exchange(s_fileOnLoad, QString()));
    showCount();
}

frmINIEditor *frmINIEditor::showOn(const QString &path)
{
    if (frmINIEditor *open = showonce::instance<frmINIEditor>()) {
        open->switchToFile(path);
        return showonce::show<frmINIEditor>();
    }
    s_fileOnLoad = path;
    frmINIEditor *form = showonce::show<frmINIEditor>();
    s_fileOnLoad.clear();
    return form;
}

void frmINIEditor::openFile(const QString &path)
{
    const QString before = std::exchange(FileDialog.FileName, path);
    openPicked(path, before);
}

void frmINIEditor::switchToFile(const QString &path)
{
    openFile(path);
}

void frmINIEditor::GetSettings_Click()
{
    FileDialog.Filter = QStringLiteral("Ferox INI Files|*.ini");
    // A cancel keeps the dialog's last file name, so it reloads the last pick.
    const QString before = FileDialog.FileName;
    FileDialog.ShowOpen(this);
    openPicked(FileDialog.FileName, before);
}

void frmINIEditor::openPicked(const QString &path, const QString &fileNameBefore)
{
    const Lists before = saveLists();
    ui->txtPath->setText(path);
    OpenProgress progress(this, QFileInfo(path).size());
    m_scanProgress = [&progress](qint64 bytes) { return progress.scanned(bytes); };
    settingsfile::ReadResult names;
    {
        const BusyCursor busy;
        names = LoadSectionNames();
    }
    m_scanProgress = nullptr;
    if (!names.ok) {
        if (names.cancelled) {
            restoreLists(before);
            FileDialog.FileName = fileNameBefore;
        } else if (names.notFound) {
            messagebox::inform(this, QStringLiteral("File Not Found"));
        }
        return;
    }
    m_loadProgress = [&progress](qint64 bytes) { return progress.loaded(bytes); };
    {
        const BusyCursor busy;
        loadText();
    }
    m_loadProgress = nullptr;
    // The text area kept its text; the lists and the path go back too.
    if (progress.cancelled()) {
        restoreLists(before);
        FileDialog.FileName = fileNameBefore;
    }
}

frmINIEditor::Lists frmINIEditor::saveLists() const
{
    return { ui->txtPath->text(), m_names->stringList(), m_keys->stringList(), m_values->stringList(),
        selectedRow(ui->ListNames), selectedRow(ui->ListKey1), selectedRow(ui->ListKey2) };
}

void frmINIEditor::restoreLists(const Lists &lists)
{
    ui->txtPath->setText(lists.path);
    const auto restore = [](QListView *view, QStringListModel *model, const QStringList &items, int row) {
        model->setStringList(items);
        if (row < 0)
            return;
        // Putting the choice back is not a new choice: no handler runs.
        const QSignalBlocker quiet(view->selectionModel());
        view->selectionModel()->setCurrentIndex(model->index(row), QItemSelectionModel::ClearAndSelect);
        view->scrollTo(model->index(row));
        view->viewport()->update();
    };
    restore(ui->ListNames, m_names, lists.names, lists.nameRow);
    restore(ui->ListKey1, m_keys, lists.keys, lists.keyRow);
    restore(ui->ListKey2, m_values, lists.values, lists.valueRow);
    showCount();
}

settingsfile::ReadResult frmINIEditor::LoadSectionNames()
{
    m_names->setStringList({});
    QList<QByteArray> names;
    const settingsfile::ReadResult result
        = settingsfile::readSectionNames(ui->txtPath->text(), &names, m_scanProgress);
    // A scan that failed part-way still lists what it read.
    m_names->setStringList(decodeAll(names));
    showCount();
    return result;
}

void frmINIEditor::showCount()
{
    // A chosen name that the list cuts off is shown whole after the count.
    const int row = selectedRow(ui->ListNames);
    const QString cut = row >= 0 && isCutOff(ui->ListNames, m_names->index(row))
        ? m_names->index(row).data().toString()
        : QString();
    ui->Label2->setText(countLine(kCountCaption, m_names->rowCount(), cut));
}

void frmINIEditor::Command1_Click()
{
    loadText();
}

bool frmINIEditor::loadText()
{
    const QString path = ui->txtPath->text();
    settingsfile::createIfMissing(path);
    QString error;
    // On failure Text1 keeps its text, so LoadedPath still names its file.
    if (!ui->Text1->loadFile(path, &error, m_loadProgress))
        return false;
    LoadedPath = path;
    return true;
}

int frmINIEditor::selectedRow(const QListView *list)
{
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void frmINIEditor::ListNames_Click()
{
    LoadSectionKeys();
    showCount();
}

void frmINIEditor::LoadSectionKeys()
{
    const QString path = ui->txtPath->text();
    m_keys->setStringList({});
    m_values->setStringList({});
    const int row = selectedRow(ui->ListNames);
    if (row < 0)
        return;
    const codepage::Encoded name = codepage::encode(m_names->stringList().at(row));
    settingsfile::KeyLines lines;
    const settingsfile::ReadResult result = settingsfile::readSectionKeys(path, name.bytes, &lines);
    if (!result.ok) {
        if (result.notFound)
            messagebox::inform(this, QStringLiteral("File Not Found"));
        return;
    }
    m_keys->setStringList(decodeAll(lines.keys));
    m_values->setStringList(decodeAll(lines.values));
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
    const QString key = row >= 0 ? m_keys->index(row).data().toString() : QString();
    const int valueRow = selectedRow(ui->ListKey2);
    const QString value = valueRow >= 0 ? m_values->index(valueRow).data().toString() : QString();
    setAutoSizedText(ui->lblEntries, key + u'=' + value);
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
    const QString searchText = ui->lblEntries->text();
    if (searchText.isEmpty())
        return;
    const QByteArray needle = codepage::encode(searchText).bytes;
    const qsizetype at = keysearch::findFirst(ui->Text1->bytes(), needle);
    if (at < 0) {
        messagebox::inform(this, QStringLiteral("Not found"));
        return;
    }
    ui->Text1->selectBytes(at, needle.size());
}

void frmINIEditor::cmdFindNext_Click()
{
    formSearchText();
    const QString searchText = ui->lblEntries->text();
    if (searchText.isEmpty())
        return;
    const QByteArray needle = codepage::encode(searchText).bytes;
    const keysearch::NextStep step
        = keysearch::findNext(ui->Text1->bytes(), needle, ui->Text1->selectionStartOffset());
    ui->Text1->placeCaret(step.caret);
    if (step.match < 0) {
        messagebox::inform(this, QStringLiteral("Not Found"));
        return;
    }
    ui->Text1->selectBytes(step.match, needle.size());
}

void frmINIEditor::cmdAdd_Click()
{
    // The text goes to a temporary file that replaces the target only once it
    // is complete on disk: a failed write leaves the old file, and says so.
    if (!LoadedPath.isEmpty()) {
        QString error;
        bool written = false;
        {
            const BusyCursor busy;
            written = filebytes::replace(LoadedPath, { ui->Text1->bytes(), QByteArrayView("\r\n") }, &error);
        }
        if (!written) {
            messagebox::show(this, messagebox::programTitle(),
                QStringLiteral("Could not write \"%1\": %2.\n\nThe file was not changed; "
                               "your text is still in the editor.")
                    .arg(QDir::toNativeSeparators(LoadedPath), error),
                messagebox::Icon::Critical);
        }
    }
    LoadedPath = ui->txtPath->text();
    settingsfile::createIfMissing(LoadedPath);
    const BusyCursor busy;
    LoadSectionNames();
    m_keys->setStringList({});
    m_values->setStringList({});
}

void frmINIEditor::Command2_Click()
{
    close();
}

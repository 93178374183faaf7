#include "editor/frmINIEditor.h"
#include "ui_frmINIEditor.h"

#include "editor/KeySearch.h"
#include "ini/IniText.h"
#include "platform/AppFolder.h"
#include "platform/ClassicLook.h"
#include "platform/CodePage.h"
#include "platform/FileBytes.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QItemSelectionModel>
#include <QStringListModel>

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
    // A fixed single border with minimise and maximise buttons.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());

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
}

frmINIEditor::~frmINIEditor() = default;

void frmINIEditor::Form_Load()
{
    // The dialog starts here, and a relative path in txtPath means a file here.
    QDir::setCurrent(appfolder::path());
    ui->cmdFindNext->setEnabled(false);
    GetSettings_Click();
    showCount();
}

void frmINIEditor::GetSettings_Click()
{
    FileDialog.Filter = QStringLiteral("Ferox INI Files|*.ini");
    // A cancel keeps the dialog's last file name, so it reloads the last pick.
    FileDialog.ShowOpen(this);
    ui->txtPath->setText(FileDialog.FileName);
    const settingsfile::ReadResult names = LoadSectionNames();
    if (!names.ok) {
        if (names.notFound)
            messagebox::inform(this, QStringLiteral("File Not Found"));
        else if (names.notRegular) // a FIFO, device or folder, refused before opening
            messagebox::show(this, messagebox::programTitle(),
                QStringLiteral("Could not open \"%1\": %2.")
                    .arg(QDir::toNativeSeparators(ui->txtPath->text()), names.error),
                messagebox::Icon::Critical);
        return;
    }
    loadText();
}

settingsfile::ReadResult frmINIEditor::LoadSectionNames()
{
    m_names->setStringList({});
    QList<QByteArray> names;
    const settingsfile::ReadResult result = settingsfile::readSectionNames(ui->txtPath->text(), &names);
    // A scan that failed part-way still lists what it read.
    m_names->setStringList(decodeAll(names));
    showCount();
    return result;
}

void frmINIEditor::showCount()
{
    ui->Label2->setText(kCountCaption + QStringLiteral(" = ") + QString::number(m_names->rowCount()));
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
    if (!ui->Text1->loadFile(path, &error))
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
        if (!filebytes::replace(LoadedPath, { ui->Text1->bytes(), QByteArrayView("\r\n") }, &error)) {
            messagebox::show(this, messagebox::programTitle(),
                QStringLiteral("Could not write \"%1\": %2.\n\nThe file was not changed; "
                               "your text is still in the editor.")
                    .arg(QDir::toNativeSeparators(LoadedPath), error),
                messagebox::Icon::Critical);
        }
    }
    LoadedPath = ui->txtPath->text();
    settingsfile::createIfMissing(LoadedPath);
    LoadSectionNames();
    m_keys->setStringList({});
    m_values->setStringList({});
}

void frmINIEditor::Command2_Click()
{
    close();
}

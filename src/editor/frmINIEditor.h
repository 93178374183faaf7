#pragma once

#include "editor/CutListModel.h"
#include "fileio/DiskStamp.h"
#include "ini/SettingsFile.h"
#include "platform/OpenFileDialog.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class DiskWatch;
class GeometryAnchors;
class QLabel;
class TextSplit;
class WindowSlot;
class QListView;

namespace Ui {
class frmINIEditor;
}

// The INI editor: picks a settings file, lists its section names and their
// count, shows the keys and values of a chosen section, selects a chosen key
// line in the file's raw text, and writes the edited text back over the file.
//
// The window keeps no model of the file: the lists are filled by reading the
// file named in txtPath again, and Text1 holds the bytes of the file named by
// LoadedPath exactly as read.
//
// The user's work is never dropped or misplaced: the text is only ever written
// to the file it came from, a file changed on disk since it was loaded is not
// overwritten without asking, and unsaved edits are not discarded (by Close,
// Open File or the end of the program) without asking.
class frmINIEditor : public QWidget {
    Q_OBJECT
public:
    explicit frmINIEditor(QWidget *parent = nullptr);
    ~frmINIEditor() override;

    void Form_Load();

    // Shows the editor on `file` without asking for a file: a fresh editor
    // loads it instead of showing the dialog at its load step, an open one
    // switches to it. A relative `file` is taken from the current folder, as a
    // command line's file is.
    static frmINIEditor *showOn(const QString &file);
    // Opens `path` exactly as if it had been picked in the open dialog (a
    // later Open File that is cancelled opens it again).
    void openFile(const QString &path);

    // The file whose text Text1 holds, and the one an update writes to.
    QString LoadedPath;

    // Fills ListNames and the count caption from the file named in txtPath;
    // a failure is passed on.
    settingsfile::ReadResult LoadSectionNames();
    // Fills ListKey1 and ListKey2 with the chosen section's key lines.
    void LoadSectionKeys();

public Q_SLOTS:
    void GetSettings_Click();
    void Command1_Click();
    void ListNames_Click();
    void ListKey1_Click();
    void cmdFindFirst_Click();
    void cmdFindNext_Click();
    void cmdAdd_Click();
    void Command2_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Written { Done, Cancelled, Reloaded, Failed };

    // Every switch to another file that the dialog does not pick (the file
    // argument, a dropped file, Enter in txtPath) passes here.
    void switchToFile(const QString &path);
    bool mayReplaceTextWith(const QString &path);
    // Update INI with another path typed: false (after saying why) when it
    // cannot be switched to, or names no file and the user would not create one.
    bool maySwitchTo(const QString &typed);
    void refuseNotRegular(const QString &path, const FileError &error);
    void forgetKeyChoice();
    // Shift+F3: the chosen key line's occurrence before the selection.
    void findPreviousKeyLine();
    // Opens `path`; a cancelled long open puts back the path, the lists and
    // the dialog's file name (`fileNameBefore`) as they were.
    void openPicked(const QString &path, const QString &fileNameBefore);
    void addWorkingAids();
    bool loadText();
    bool loadTextOf(const QString &path);
    // The section heads of the text just written: where each starts, and
    // whether their names are those the list holds.
    // (No member initialisers: a nested class that has them is not yet
    // default-constructible to some compilers inside its enclosing class.)
    struct WrittenHeads {
        QList<qsizetype> at;
        bool unchanged;
    };
    // Writes the text back. With `heads`, the text's heads are found on a
    // thread of their own while the write runs, for showWrittenText(), so
    // that the lists cost the save no pass of their own over the text.
    Written writeBack(std::optional<WrittenHeads> *heads = nullptr);
    bool confirmDiscard();
    void showCount();
    // After a write of the text to the file the lists read: the lists are
    // brought up to date from the text (which the file now holds), refilling
    // only what changed and keeping the chosen section and key.
    void showWrittenText(std::optional<WrittenHeads> heads = std::nullopt);
    // The file changed on disk: reloaded when the text holds no edits of the
    // user's, else the user is asked at once.
    void fileChangedOnDisk();
    void reloadKeepingPlace();
    void refill(
        class QListView *view, CutListModel *model, QList<QByteArray> items, int chosenRow, bool force);
    void showChosenSection();
    void updateTitle();
    void showStatus(const QString &text);
    void placeStatus();
    // Decodes list items as the file's encoding has them written.
    Decoder listDecoder() const;
    static Decoder decoderFor(ini::Encoding encoding);
    void formSearchText();
    void setAutoSizedText(class QLabel *label, const QString &text);
    static int selectedRow(const QListView *list);

    std::unique_ptr<Ui::frmINIEditor> ui;
    OpenFileDialog FileDialog;
    CutListModel *m_names;
    CutListModel *m_keys;
    CutListModel *m_values;
    // What Find First and Find Next look for: the chosen key line, whole.
    QByteArray m_searchText;
    // What the file at LoadedPath was when it was last loaded or written.
    diskstamp::Stamp m_stamp;
    // How the names in the lists are written in the file: UTF-8 in a file with
    // a UTF-8 byte-order mark, else the code page.
    ini::Encoding m_listEncoding = ini::Encoding::Ansi;
    static QString s_fileOnLoad;

    // What an open changes before it can be cancelled.
    struct Lists {
        QString path;
        CutListModel::Items names, keys, values;
        int nameRow, keyRow, valueRow;
        ini::Encoding encoding;
    };
    Lists saveLists() const;
    void restoreLists(const Lists &lists);
    static void selectSilently(QListView *view, CutListModel *model, int row);
    GeometryAnchors *m_anchors = nullptr;
    TextSplit *m_split = nullptr;
    QLabel *m_status = nullptr;
    DiskWatch *m_watch = nullptr;
    // The change on disk the user was last asked about, not to ask twice.
    diskstamp::Stamp m_askedAbout;
    bool m_askingAboutDisk = false;
    // A write holds a view of the text while it waits for the file: nothing
    // may replace the text until it returns.
    bool m_writing = false;
    std::unique_ptr<WindowSlot> m_slot;
    bool m_placed = false;
    std::function<bool(qint64)> m_loadProgress;
    std::function<std::optional<bool>()> m_loadVerdict;

    // A scan of the file for its section names, on a worker thread.
    struct SectionScan;
    std::unique_ptr<SectionScan> startSectionScan() const;
    // Lists what the ended scan found; its failure is passed on.
    settingsfile::ReadResult takeSectionNames(SectionScan &scan);
};

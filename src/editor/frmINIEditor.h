#pragma once

#include "editor/SettingsFile.h"
#include "platform/OpenFileDialog.h"

#include <QString>
#include <QWidget>

#include <memory>

class CutListModel;
class QListView;
class QStringListModel;

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
class frmINIEditor : public QWidget {
    Q_OBJECT
public:
    explicit frmINIEditor(QWidget *parent = nullptr);
    ~frmINIEditor() override;

    void Form_Load();

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

private:
    bool loadText();
    void showCount();
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
};

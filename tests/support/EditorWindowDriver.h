#pragma once

// Drives the real editor window the way a user does, for window tests and the
// helper programs that tests start: the file dialog is answered through its
// seam, widgets are found by their object names.

#include "TestWidgets.h"
#include "editor/ByteTextEdit.h"
#include "editor/CutListModel.h"
#include "editor/frmINIEditor.h"
#include "platform/MessageBox.h"
#include "platform/OpenFileDialog.h"
#include "platform/ShowOnce.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <optional>

namespace editordriver {

// Opens the editor; its load step shows the dialog, answered with `answer`.
inline frmINIEditor *open(const std::optional<QString> &answer)
{
    OpenFileDialog::setNextAnswers({ answer });
    return showonce::show<frmINIEditor>();
}

// Writes `bytes` as the file and opens the editor on it, as the file argument
// does (no dialog), with the window active.
inline frmINIEditor *openOn(const QString &file, const QByteArray &bytes)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file));
    out.close();
    frmINIEditor *form = frmINIEditor::showOn(file);
    QApplication::setActiveWindow(form);
    return form;
}

inline ByteTextEdit *text1(QWidget *form)
{
    return child<ByteTextEdit>(form, "Text1");
}

inline QStringList items(QWidget *form, const char *list)
{
    auto *view = child<QListView>(form, list);
    return qobject_cast<CutListModel *>(view->model())->stringList();
}

inline int selectedRow(QWidget *form, const char *list)
{
    auto *view = child<QListView>(form, list);
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// Clicks item `row` of a list with the mouse.
inline void clickItem(QWidget *form, const char *list, int row)
{
    auto *view = child<QListView>(form, list);
    const QModelIndex index = view->model()->index(row, 0);
    // A list lays out its items lazily; let it do so before aiming at one.
    QCoreApplication::processEvents();
    view->scrollTo(index);
    QCoreApplication::processEvents();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

// After a test: closes the editor, letting go of edits the test left in its
// text, and drops what the seams still hold.
inline void closeEditor()
{
    messagebox::setNextAnswers({ messagebox::Answer::Discard });
    if (frmINIEditor *form = showonce::instance<frmINIEditor>())
        form->close();
    QTRY_VERIFY(!showonce::instance<frmINIEditor>());
    messagebox::setNextAnswers({});
    messagebox::takeRecorded();
    OpenFileDialog::takeShownCount();
}

inline void clickButton(QWidget *form, const char *button)
{
    QTest::mouseClick(child<QPushButton>(form, button), Qt::LeftButton);
}

} // namespace editordriver

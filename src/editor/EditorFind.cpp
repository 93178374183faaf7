#include "editor/EditorFind.h"

#include "core/CodePage.h"
#include "core/TextFind.h"
#include "editor/ByteTextEdit.h"
#include "editor/FindBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QShortcut>

EditorFind::EditorFind(
    QWidget *window, FindBox *box, QListView *names, ByteTextEdit *text, QAbstractButton *findNext)
    : QObject(window), m_window(window), m_box(box), m_names(names), m_text(text), m_findNext(findNext)
{
    auto *find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), window);
    connect(find, &QShortcut::activated, this, [this] {
        const bool inText = QApplication::focusWidget() == m_text
            || (m_box->isVisible() && m_mode == Mode::Text
                && m_box->isAncestorOf(QApplication::focusWidget()));
        openBox(inText ? Mode::Text : Mode::Names);
    });
    auto *next = new QShortcut(QKeySequence(Qt::Key_F3), window);
    connect(next, &QShortcut::activated, this, [this] { findAgain(true); });
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), window);
    connect(previous, &QShortcut::activated, this, [this] { findAgain(false); });

    connect(box, &FindBox::queryChanged, this, [this] {
        if (m_mode == Mode::Names)
            filterNames();
        else
            findText(true, true);
    });
    connect(box, &FindBox::accepted, this, [this] {
        if (m_mode == Mode::Names)
            chooseName();
        else
            findText(true, false);
    });
    connect(box, &FindBox::stepped, this, [this](int rows) {
        if (m_mode == Mode::Names)
            stepName(rows);
        else
            findText(rows > 0, false);
    });
    connect(box, &FindBox::closed, this, [this] {
        showAllNames();
        (m_mode == Mode::Text ? static_cast<QWidget *>(m_text) : m_names)->setFocus(Qt::OtherFocusReason);
    });
    // A list filled afresh while the box filters shows only the matches again.
    connect(names->model(), &QAbstractItemModel::modelReset, this, [this] {
        if (m_box->isVisible() && m_mode == Mode::Names)
            filterNames();
    });
}

void EditorFind::openBox(Mode mode)
{
    if (m_mode != mode)
        showAllNames();
    m_mode = mode;
    m_box->open(mode == Mode::Names ? tr("Find game:") : tr("Find text:"));
    if (mode == Mode::Names)
        filterNames();
}

void EditorFind::filterNames()
{
    const QString query = m_box->query();
    QAbstractItemModel *model = m_names->model();
    bool any = false;
    m_names->setUpdatesEnabled(false);
    for (int row = 0; row < model->rowCount(); ++row) {
        const bool match = textfind::nameMatches(model->index(row, 0).data().toString(), query);
        m_names->setRowHidden(row, !match);
        any = any || match;
    }
    m_names->setUpdatesEnabled(true);
    m_box->setMissing(!any && model->rowCount() > 0);
    const QModelIndex current = m_names->currentIndex();
    if (current.isValid() && !m_names->isRowHidden(current.row()))
        m_names->scrollTo(current);
    else
        m_names->scrollToTop();
}

void EditorFind::showAllNames()
{
    QAbstractItemModel *model = m_names->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (m_names->isRowHidden(row))
            m_names->setRowHidden(row, false);
    }
}

void EditorFind::chooseName()
{
    // The chosen name when the filter still shows it, else the first shown.
    QAbstractItemModel *model = m_names->model();
    const QModelIndexList chosen = m_names->selectionModel()->selectedRows();
    int row = !chosen.isEmpty() && !m_names->isRowHidden(chosen.first().row()) ? chosen.first().row() : -1;
    for (int at = 0; row < 0 && at < model->rowCount(); ++at) {
        if (!m_names->isRowHidden(at))
            row = at;
    }
    if (row < 0) {
        QApplication::beep();
        return;
    }
    m_box->hide();
    showAllNames();
    const QModelIndex index = model->index(row, 0);
    // What a click does: the list takes the focus and the item is chosen (a
    // click on the item already chosen changes nothing).
    m_names->setFocus(Qt::MouseFocusReason);
    m_names->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_names->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void EditorFind::stepName(int rows)
{
    QAbstractItemModel *model = m_names->model();
    const QModelIndex current = m_names->currentIndex();
    int row = current.isValid() && !m_names->isRowHidden(current.row()) ? current.row()
                                                                        : (rows > 0 ? -1 : model->rowCount());
    do
        row += rows;
    while (row >= 0 && row < model->rowCount() && m_names->isRowHidden(row));
    if (row < 0 || row >= model->rowCount())
        return;
    // As the arrow keys in the list would: the game is chosen at once.
    const QModelIndex index = model->index(row, 0);
    m_names->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_names->scrollTo(index);
}

void EditorFind::findText(bool forward, bool fromSelectionStart)
{
    const codepage::Encoded needle = codepage::encode(m_box->query());
    if (needle.bytes.isEmpty() || !needle.ok()) {
        m_box->setMissing(!m_box->query().isEmpty());
        return;
    }
    const QByteArrayView text = m_text->bytes();
    const qsizetype start = m_text->selectionStartOffset();
    // Typing extends the match in place; Enter and F3 move past it.
    const qsizetype at = forward
        ? textfind::findForward(text, needle.bytes, fromSelectionStart ? start : start + 1)
        : textfind::findBackward(text, needle.bytes, start);
    m_box->setMissing(at < 0);
    if (at < 0) {
        QApplication::beep();
        return;
    }
    m_text->selectBytes(at, needle.bytes.size());
}

void EditorFind::findAgain(bool forward)
{
    QWidget *focus = QApplication::focusWidget();
    const bool inList = qobject_cast<QListView *>(focus) != nullptr;
    const bool inText = focus == m_text || (focus && m_mode == Mode::Text && m_box->isAncestorOf(focus));
    if (!inList && !inText)
        return;
    if (inText && m_mode == Mode::Text && !m_box->query().isEmpty()) {
        findText(forward, false);
        return;
    }
    if (!m_findNext->isEnabled())
        return;
    if (forward)
        m_findNext->click();
    else if (m_findPrevious)
        m_findPrevious();
}

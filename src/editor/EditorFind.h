#pragma once

#include <QObject>

#include <functional>

class ByteTextEdit;
class FindBox;
class QAbstractButton;
class QListView;
class QWidget;

// Finding in the editor window. Ctrl+F opens the find box: from the text area
// it finds text there, anywhere else it filters the game names as the user
// types and Enter chooses a game as a click on it would. F3 / Shift+F3 find the
// box's text again forward / backward in the text area; with no text to find,
// or with the focus in a list, F3 is the window's Find Next button and Shift+F3
// its step backward.
class EditorFind : public QObject {
    Q_OBJECT
public:
    enum class Mode { Names, Text };

    EditorFind(
        QWidget *window, FindBox *box, QListView *names, ByteTextEdit *text, QAbstractButton *findNext);

    void openBox(Mode mode);
    Mode mode() const { return m_mode; }
    // F3 (forward) and Shift+F3.
    void findAgain(bool forward);
    // What Shift+F3 does where F3 is the Find Next button.
    void setFindPrevious(std::function<void()> findPrevious) { m_findPrevious = std::move(findPrevious); }

private:
    void filterNames();
    void showAllNames();
    void chooseName();
    void stepName(int rows);
    void findText(bool forward, bool fromSelectionStart);
    void close();

    QWidget *m_window;
    FindBox *m_box;
    QListView *m_names;
    ByteTextEdit *m_text;
    QAbstractButton *m_findNext;
    Mode m_mode = Mode::Names;
    std::function<void()> m_findPrevious;
};

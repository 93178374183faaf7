#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QLineEdit;

// The editor's small find box: a caption and a field, hidden until asked for.
// It only reports what the user does; EditorFind decides what that means.
class FindBox : public QFrame {
    Q_OBJECT
public:
    explicit FindBox(QWidget *parent = nullptr);

    // Shows the box with `caption` and puts the focus in its field, its text
    // selected so that typing replaces it.
    void open(const QString &caption);
    QString query() const;
    QLineEdit *field() const { return m_field; }
    // Marks the field when the text is not there (and clears the mark).
    void setMissing(bool missing);

Q_SIGNALS:
    void queryChanged(const QString &query);
    void accepted();
    void stepped(int rows); // Up / Down: -1 / +1
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_caption;
    QLineEdit *m_field;
};

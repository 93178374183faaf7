#include "editor/FindBox.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

FindBox::FindBox(QWidget *parent) : QFrame(parent), m_caption(new QLabel(this)), m_field(new QLineEdit(this))
{
    setObjectName(QStringLiteral("findBox"));
    m_field->setObjectName(QStringLiteral("findField"));
    m_field->setClearButtonEnabled(true);
    m_caption->setBuddy(m_field);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_caption);
    layout->addWidget(m_field, 1);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, this, &FindBox::queryChanged);
    hide();
}

void FindBox::open(const QString &caption)
{
    m_caption->setText(caption);
    setMissing(false);
    show();
    raise();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

QString FindBox::query() const
{
    return m_field->text();
}

void FindBox::setMissing(bool missing)
{
    // The palette's own link colour reads on light and dark palettes alike.
    m_field->setStyleSheet(
        missing ? QStringLiteral("QLineEdit { color: palette(link-visited); }") : QString());
    m_field->setProperty("missing", missing);
}

bool FindBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Q_EMIT accepted();
            return true;
        case Qt::Key_Escape:
            hide();
            Q_EMIT closed();
            return true;
        case Qt::Key_Up:
            Q_EMIT stepped(-1);
            return true;
        case Qt::Key_Down:
            Q_EMIT stepped(1);
            return true;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}

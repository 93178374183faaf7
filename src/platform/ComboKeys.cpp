#include "platform/ComboKeys.h"

#include <QKeyEvent>
#include <QWidget>

namespace combokeys {
namespace {

class Filter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers combo = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        if (!(key->modifiers() & combo) || key->text().isEmpty())
            return false;
        QKeyEvent textless(key->type(), key->key(), key->modifiers(), key->nativeScanCode(),
            key->nativeVirtualKey(), key->nativeModifiers(), QString(), key->isAutoRepeat(),
            static_cast<quint16>(key->count()));
        // Straight to the field: what it does not take goes on to its parents
        // as the original key, once.
        textless.setAccepted(false);
        watched->event(&textless);
        event->setAccepted(textless.isAccepted());
        return true;
    }
};

} // namespace

void keepFromTyping(QWidget *field)
{
    field->installEventFilter(new Filter(field));
}

} // namespace combokeys

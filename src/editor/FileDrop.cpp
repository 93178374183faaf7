#include "editor/FileDrop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

QString droppedIniFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    const QString path = urls.first().toLocalFile();
    return path.endsWith(QStringLiteral(".ini"), Qt::CaseInsensitive) ? path : QString();
}

FileDrop::FileDrop(QWidget *window) : QObject(window)
{
    window->setAcceptDrops(true);
    watch(window);
}

void FileDrop::watch(QWidget *control)
{
    control->installEventFilter(this);
}

bool FileDrop::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (droppedIniFile(drag->mimeData()).isEmpty())
            break;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QString path = droppedIniFile(drop->mimeData());
        if (path.isEmpty())
            break;
        drop->acceptProposedAction();
        // Opening may ask questions in modal boxes: not while the drag is
        // still being finished.
        QMetaObject::invokeMethod(
            this, [this, path] { Q_EMIT fileDropped(path); }, Qt::QueuedConnection);
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

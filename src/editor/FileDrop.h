#pragma once

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

// The settings file a drag carries: one local file whose name ends in ".ini"
// (any letter case). Anything else (text, several files, a remote address)
// gives an empty string and is left to the control under the mouse.
QString droppedIniFile(const QMimeData *data);

// Takes drops of a settings file on a window: on the window itself and on the
// controls that would otherwise take the drop as text.
class FileDrop : public QObject {
    Q_OBJECT
public:
    explicit FileDrop(QWidget *window);
    // Also catches drops on `control`, which accepts drops of its own.
    void watch(QWidget *control);

Q_SIGNALS:
    void fileDropped(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

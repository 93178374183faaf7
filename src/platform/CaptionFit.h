#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// Keeps every caption of a window laid out at fixed positions whole, whatever
// the font: when a button's, label's or frame's caption needs more room than
// its designed place gives, the whole window grows by the same factor (width
// and height apart), controls and gaps alike, so that it keeps its look. At a
// font whose captions fit, nothing moves: the window keeps its designed size.
//
// The captions measured are those the controls hold when the fit is made;
// texts a window sets later (counts, search texts) may be longer and are not
// measured. A later change of the font (the desktop's settings arriving after
// start-up) fits the window again.
class CaptionFit : public QObject {
    Q_OBJECT
public:
    // Records the window's and its controls' designed geometry; fit() applies it.
    explicit CaptionFit(QWidget *window);

    // Places the window and its controls for the current fonts.
    void fit();

    double scaleX() const { return m_scaleX; }
    double scaleY() const { return m_scaleY; }

Q_SIGNALS:
    // The controls stand at their places for a new scale.
    void refitted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Control {
        QPointer<QWidget> widget;
        QRect designed;
        QString caption; // the designed caption, measured; empty for none
    };
    // The scale the captions need, each at least 1.
    QSizeF neededScale() const;
    QSize scaled(const QSize &designed) const;

    QWidget *m_window;
    QList<Control> m_controls;
    QSize m_size, m_minimum, m_maximum;
    double m_scaleX = 1;
    double m_scaleY = 1;
    bool m_pending = false;
};

// `designed` with its edges scaled (and rounded): neighbours keep their gaps.
QRect scaledRect(const QRect &designed, double scaleX, double scaleY);

// The room a caption needs in a control of the kind of `control` with its
// font: its width and its height; 0 where the caption puts no bound. For
// checks in tests, too.
QSize captionNeeds(const QWidget *control, const QString &caption, int designedWidth);

#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

// Lets a window laid out with fixed positions grow. Each registered control
// keeps the geometry it was given, plus a share of the room its parent gained
// over the parent's size at registration: `x` and `y` move the control by that
// share of the extra width and height, `w` and `h` widen and heighten it.
// A control anchored to the right and bottom edges has { 1, 1, 0, 0 }; one that
// takes all the extra room has { 0, 0, 1, 1 }.
struct Anchor {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
};

// The geometry of a control with the base geometry `base` when its parent has
// grown by `grown`. Edges are rounded, not sizes, so neighbours that share the
// extra room between them keep their gaps exactly.
QRect anchoredGeometry(const QRect &base, const QSize &grown, const Anchor &anchor);

class GeometryAnchors : public QObject {
    Q_OBJECT
public:
    // Watches `window`; the controls are placed again whenever it is resized.
    explicit GeometryAnchors(QWidget *window);

    // Register parents before their children: a child follows its parent's
    // new size.
    void add(QWidget *control, const Anchor &anchor);
    // Scales the registered geometries (and their parents' sizes) before
    // anchoring, for a window grown to fit its captions.
    void setScale(double x, double y);
    void apply();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry {
        QPointer<QWidget> control;
        QRect base;
        QSize parentBase;
        Anchor anchor;
    };
    QWidget *m_window;
    QList<Entry> m_entries;
    double m_scaleX = 1;
    double m_scaleY = 1;
};

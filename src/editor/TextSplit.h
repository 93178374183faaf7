#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class GeometryAnchors;

// The bar between the editor's lists and its text: dragged up, it gives the
// text area the room the lists give up. The window keeps its layout at every
// size (the anchors place the controls); the split moves the edge between the
// two rows after them. The text's share is remembered for the next window.
class TextSplit : public QWidget {
    Q_OBJECT
public:
    // `above`: the lists, which lose height; `frame`: the frame below, which
    // moves up and grows, with `text` inside it.
    TextSplit(
        QWidget *window, GeometryAnchors *anchors, QList<QWidget *> above, QWidget *frame, QWidget *text);

    // 0: the lists at their designed height; 1: the lists as low as they go.
    double share() const { return m_share; }
    void setShare(double share);
    // Places the split again; the window calls it after every resize.
    void apply();

    static constexpr int kMinimumListHeight = 48;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int room() const; // how far the edge may move up, in pixels

    GeometryAnchors *m_anchors;
    QList<QPointer<QWidget>> m_above;
    QPointer<QWidget> m_frame;
    QPointer<QWidget> m_text;
    double m_share = 0;
    int m_by = 0; // how far the edge stands above its designed place, in pixels
    int m_pressY = -1;
    double m_pressShare = 0;
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

// A hidden text holder for 8-bit text of any length, line breaks included (the
// base64 form of an attachment can run to megabytes). A QObject so that a window
// can own it like its other controls and a long-running writer can notice when
// it is destroyed.
class TextBuffer : public QObject {
    Q_OBJECT
public:
    explicit TextBuffer(QObject *parent = nullptr);

    const QByteArray &Text() const { return m_text; }
    void SetText(const QByteArray &text) { m_text = text; }
    void Clear() { m_text.clear(); }

private:
    QByteArray m_text;
};

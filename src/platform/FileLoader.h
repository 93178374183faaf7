#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Loads a file for the attachment encoder: its bytes exactly as stored, no line
// end or character conversion. A QObject so that a window can own it like its
// other controls and a long-running caller can notice when it is destroyed.
class FileLoader : public QObject {
    Q_OBJECT
public:
    explicit FileLoader(QObject *parent = nullptr);

    // Replaces the loaded text with the file's bytes. On failure the text is
    // empty, false is returned and ErrorString() says why.
    bool LoadFile(const QString &path);
    const QByteArray &Text() const { return m_text; }
    QString ErrorString() const { return m_error; }
    void Clear();

private:
    QByteArray m_text;
    QString m_error;
};

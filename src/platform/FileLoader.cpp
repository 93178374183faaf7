#include "platform/FileLoader.h"

#include "fileio/FileRead.h"

FileLoader::FileLoader(QObject *parent) : QObject(parent) { }

bool FileLoader::LoadFile(const QString &path)
{
    m_text.clear();
    m_error.clear();
    QByteArray bytes;
    FileError error;
    if (!filebytes::read(path, &bytes, &error)) {
        m_error = error.text;
        return false;
    }
    m_text = std::move(bytes);
    return true;
}

void FileLoader::Clear()
{
    m_text.clear();
    m_error.clear();
}

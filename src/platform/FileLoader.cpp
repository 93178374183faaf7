#include "platform/FileLoader.h"

#include "platform/FileBytes.h"

FileLoader::FileLoader(QObject *parent) : QObject(parent) { }

bool FileLoader::LoadFile(const QString &path)
{
    m_text.clear();
    m_error.clear();
    QByteArray bytes;
    if (!filebytes::read(path, &bytes, &m_error))
        return false;
    m_text = std::move(bytes);
    return true;
}

void FileLoader::Clear()
{
    m_text.clear();
    m_error.clear();
}

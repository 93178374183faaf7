#include "platform/TextBuffer.h"

TextBuffer::TextBuffer(QObject *parent) : QObject(parent) { }

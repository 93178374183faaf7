#include "app/Form1.h"

Form1::Form1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Ferox64 INI Editor v1.0.1"));
}

void Form1::Form_Load() {}

#include "forms/frmDemo.h"

frmDemo::frmDemo(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmDemo"));
    setWindowTitle(QStringLiteral("Send Updated Ferox.ini File To Brask or Moltend"));
}

void frmDemo::Form_Load() {}

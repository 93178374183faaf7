#include "forms/frmAbout.h"

frmAbout::frmAbout(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Ferox64 INI Editor..."));
}

void frmAbout::Form_Load() {}

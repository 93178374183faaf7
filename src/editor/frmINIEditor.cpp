#include "editor/frmINIEditor.h"

frmINIEditor::frmINIEditor(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmINIEditor"));
    setWindowTitle(QStringLiteral("Change Existing Ferox INI Entry..."));
}

void frmINIEditor::Form_Load() {}

#include "forms/frmAbout.h"

#include "core/Version.h"
#include "forms/SysInfo.h"
#include "platform/CaptionFit.h"
#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"

#include "ui_frmAbout.h"

#include <QPalette>

frmAbout::frmAbout(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmAbout>())
{
    // The picture comes from the program's resources: make sure they are there.
    classiclook::loadResources();
    ui->setupUi(this);
    ui->lblVersion->setText(QStringLiteral("Version %1").arg(QLatin1StringView(buildinfo::kVersion)));
    setFont(classiclook::dialogFont());
    setWindowIcon(classiclook::windowIcon());

    // A small tool window: no task-bar entry, a title bar with only a close box.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::MSWindowsFixedSizeDialogHint);
    // Tool windows do not normally keep the program running; this one does, so
    // that closing the main window leaves an open About box (and the program) up.
    setAttribute(Qt::WA_QuitOnClose, true);
    setFixedSize(size());
    (new CaptionFit(this))->fit();

    followPalette();

    // Enter presses the default button, Escape rejects the dialog: both close it,
    // as OK does.
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(ui->cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

frmAbout::~frmAbout() = default;

// The title and the description read black on the usual light palette. On a
// dark one they take the palette's own text colour: black on dark cannot be read.
void frmAbout::followPalette()
{
    const bool light = palette().color(QPalette::Window).lightness() >= 128;
    for (QWidget *label :
        { static_cast<QWidget *>(ui->lblTitle), static_cast<QWidget *>(ui->lblDescription) }) {
        QPalette own = palette();
        if (light)
            own.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(own);
    }
}

void frmAbout::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        followPalette();
}

void frmAbout::Form_Load()
{
    ui->cmdOK->setFocus();
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::cmdSysInfo_Click()
{
    if (!StartSysInfo())
        messagebox::inform(this, QStringLiteral("System Information Is Unavailable At This Time"));
}

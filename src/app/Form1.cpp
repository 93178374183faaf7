#include "app/Form1.h"

#include "ui_Form1.h"

#include "core/Version.h"
#include "editor/frmINIEditor.h"
#include "forms/frmAbout.h"
#include "forms/frmDemo.h"
#include "ini/GameEntry.h"
#include "platform/BusyCursor.h"
#include "platform/CaptionFit.h"
#include "platform/ClassicLook.h"
#include "platform/KeyboardAids.h"
#include "platform/MessageBox.h"
#include "platform/ShowOnce.h"
#include "platform/WindowWait.h"

#include <QShortcut>

Form1::Form1(QWidget *parent)
    : QWidget(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::Form1>())
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Ferox64 INI Editor v%1").arg(QLatin1StringView(buildinfo::kVersion)));
    setFixedSize(size());
    (new CaptionFit(this))->fit();
    setWindowIcon(classiclook::windowIcon());
    // A line edit cuts typed, pasted and set text at its maximum length (32,767
    // characters unless told otherwise) without a word. Let it hold one
    // character more than an entry may: a text that long was cut, and add
    // entry refuses it instead of writing the cut text.
    for (QLineEdit *field : { ui->Text1, ui->Text2, ui->Text3, ui->Text4, ui->Text5 })
        field->setMaxLength(static_cast<int>(gameentry::kMaxFieldLength + 1));

    connect(ui->Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(ui->Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(ui->cmdMail, &QPushButton::clicked, this, &Form1::cmdMail_Click);
    auto *mailShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
    connect(mailShortcut, &QShortcut::activated, this, &Form1::cmdMail_Click);

    // The window opens with the focus on "Add Entry"; Qt hands it over when the
    // window is first activated.
    ui->Command1->setFocus(Qt::OtherFocusReason);
    keyboardaids::apply(this);
}

Form1::~Form1() = default;

void Form1::Form_Load()
{
    selectAllFields();
}

void Form1::showMailWindow()
{
    showonce::show<frmDemo>();
}

// The selection stays on each field and shows when the field gets the focus, so
// typing replaces the prompt; the focus itself does not move.
void Form1::selectAllFields()
{
    for (QLineEdit *field : { ui->Text1, ui->Text2, ui->Text3, ui->Text4, ui->Text5 }) {
        if (!field->text().isEmpty())
            field->setSelection(0, static_cast<int>(field->text().size()));
    }
}

void Form1::Command1_Click()
{
    gameentry::Fields fields;
    fields.name = ui->Text1->text();
    fields.altTitle = ui->Text2->text();
    fields.comments = ui->Text3->text();
    fields.ucode = ui->Text4->text();
    fields.submitter = ui->Text5->text();

    gameentry::Outcome outcome;
    WindowWait waiting(this);
    {
        // Ferox.ini may be big, and the write makes a new copy of it.
        const BusyCursor busy;
        outcome = gameentry::add(gameentry::withoutPrompts(fields), waiting.wait());
    }
    if (!outcome.ok) {
        // The typed entry stays in the fields so that nothing is lost.
        messagebox::show(this, messagebox::programTitle(), outcome.message, messagebox::Icon::Warning);
        waiting.closeIfAsked();
        return;
    }

    const gameentry::Fields prompts = gameentry::prompts();
    ui->Text1->setText(prompts.name);
    ui->Text2->setText(prompts.altTitle);
    ui->Text3->setText(prompts.comments);
    ui->Text4->setText(prompts.ucode);
    ui->Text5->setText(prompts.submitter);
    selectAllFields();
}

void Form1::Command2_Click()
{
    showonce::show<frmINIEditor>();
}

void Form1::Command3_Click()
{
    close();
}

void Form1::Command4_Click()
{
    showonce::show<frmAbout>();
}

void Form1::cmdMail_Click()
{
    showMailWindow();
}

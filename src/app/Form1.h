#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class Form1;
}

// The start-up window: the five fields of a new game entry, the button that
// adds it to the settings file beside the program, and the buttons that show
// the editor, the About box and the mail window.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The load step: selects each field's whole text.
    void Form_Load();

    // Shows the one mail window.
    void showMailWindow();

private Q_SLOTS:
    void Command1_Click(); // add entry
    void Command2_Click(); // show the editor
    void Command3_Click(); // close
    void Command4_Click(); // show the About box
    void cmdMail_Click();

private:
    void selectAllFields();

    std::unique_ptr<Ui::Form1> ui;
};

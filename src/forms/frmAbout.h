#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmAbout;
}

// The About box: title, version, credits and a picture, all fixed. OK, Enter
// and Escape close it; "System Info..." starts the desktop's system-information
// program. Shown modeless and once, like every window of the program.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    void Form_Load();

private Q_SLOTS:
    void cmdOK_Click();
    void cmdSysInfo_Click();

protected:
    void changeEvent(QEvent *event) override;

private:
    void followPalette();

    std::unique_ptr<Ui::frmAbout> ui;
};

#pragma once

#include <QWidget>

// Placeholder window until its own work lands.
class frmAbout : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);
    void Form_Load();
};

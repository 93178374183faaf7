#pragma once

#include <QWidget>

// Placeholder window until its own work lands.
class frmDemo : public QWidget {
    Q_OBJECT
public:
    explicit frmDemo(QWidget *parent = nullptr);
    void Form_Load();
};

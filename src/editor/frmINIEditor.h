#pragma once

#include <QWidget>

// Placeholder window until its own work lands.
class frmINIEditor : public QWidget {
    Q_OBJECT
public:
    explicit frmINIEditor(QWidget *parent = nullptr);
    void Form_Load();
};

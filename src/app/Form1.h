#pragma once

#include <QWidget>

// Placeholder window until its own work lands.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    void Form_Load();
};

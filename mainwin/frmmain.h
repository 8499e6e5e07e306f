// The main window (being built).
#pragma once
#include <QMainWindow>
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
};

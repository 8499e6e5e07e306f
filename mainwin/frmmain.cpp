#include "mainwin/frmmain.h"
#include "shell/basmain.h"
frmMain::frmMain(QWidget* parent) : QMainWindow(parent) { setWindowTitle(basMain::AppTitle); resize(433, 433); }

// Zembrik's entry: program-wide values, then the main window.
#include <QApplication>

#include "app/program.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return RunZembrik(app);
}

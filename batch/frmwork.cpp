// The work window.
#include "batch/frmwork.h"

frmWork::frmWork(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmWork"));
    setAttribute(Qt::WA_DontShowOnScreen);
}

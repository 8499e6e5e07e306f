// Opens the About box. Until the dialogs library provides frmAbout, a plain box
// with the About box's caption stands in for it.
#include "mainwin/aboutbox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "shell/basmain.h"

namespace frmMainCommands {

void ShowAboutBox()
{
    QDialog box;
    box.setWindowTitle(basMain::AppTitle + QStringLiteral("　のバージョン情報"));
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(new QLabel(basMain::AppTitle, &box));
    layout->addWidget(new QLabel(QStringLiteral("Version %1.%2.%3")
                                     .arg(basMain::VersionMajor)
                                     .arg(basMain::VersionMinor)
                                     .arg(basMain::VersionRevision),
                                 &box));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(buttons);
    box.exec();
}

}  // namespace frmMainCommands

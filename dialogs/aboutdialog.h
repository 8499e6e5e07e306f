// The About box: title, version, what Zembrik does, a legal notice, the
// program icon and OK. Loaded afresh for each showing and deleted on close.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class AboutDialog final : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(AboutDialog)

public:
    explicit AboutDialog(QWidget* owner = nullptr);

    // Loads the box, shows it modally and deletes it when it is closed.
    static void ShowModal(QWidget* owner = nullptr);

    // "Version 1.1.0" for 1, 1, 0.
    static QString VersionLine(int major, int minor, int revision);

private:
    void SetTexts();

    QLabel* Image1 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;
};

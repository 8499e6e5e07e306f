// Image information: the file name of the first selected image and its width
// and height in pixels, read from the file's header, in a small modal dialog.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include "shell/selection.h"

class QLabel;
class QPushButton;
class MessageBoxes;

class PictureInfoDialog : public QDialog {
    Q_OBJECT

public:
    // Shows fileName (the whole path in its tooltip) and size, in pixels.
    PictureInfoDialog(QWidget* owner, const QString& fileName, const QString& filePath, QSize size);

    QLabel* lblFileNm;
    QLabel* lblWidth;
    QLabel* lblHeight;
    QPushButton* cmdOK;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

namespace dialogs {

// "画像情報(&O)...": measures the first selected item and shows the dialog.
// Nothing opens when no item is selected; a file that cannot be loaded shows
// its error through messages.
void ShowPictureInfo(const shell::FileSelection& selection, QWidget* owner, MessageBoxes& messages);

}  // namespace dialogs

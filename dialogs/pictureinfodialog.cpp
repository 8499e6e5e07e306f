// The image information dialog.
#include "dialogs/pictureinfodialog.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "pictures/picture.h"
#include "shell/program.h"
#include "shell/messageboxes.h"
#include "shell/twips.h"

namespace {

QLabel* Label(QWidget* parent, const char* name, const QString& text, Qt::Alignment align, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(align | Qt::AlignVCenter);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

PictureInfoDialog::PictureInfoDialog(QWidget* owner, const QString& fileName, const QString& filePath, QSize size)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(tr("画像情報"));
    setFixedSize(shell::TwipsRect(0, 0, 5265, 2055).size());

    using shell::TwipsRect;
    auto* fraInfo = new QFrame(this);
    fraInfo->setObjectName(QStringLiteral("fraInfo"));
    fraInfo->setFrameShape(QFrame::Box);
    fraInfo->setFrameShadow(QFrame::Sunken);
    fraInfo->setGeometry(TwipsRect(60, 0, 5115, 1455));
    const int row = 255;  // a label's designed height
    Label(fraInfo, "lblFileNmCol", tr("ファイル名："), Qt::AlignRight, TwipsRect(180, 300, 1455, row));
    lblFileNm = Label(fraInfo, "lblFileNm", fileName, Qt::AlignLeft, TwipsRect(1740, 300, 3195, row));
    Label(fraInfo, "lblWidthCol", tr("幅："), Qt::AlignRight, TwipsRect(180, 660, 1455, row));
    lblWidth = Label(fraInfo, "lblWidth", QString::number(size.width()), Qt::AlignRight,
                     TwipsRect(1740, 660, 795, row));
    Label(fraInfo, "lblPixcel_0", tr("ピクセル"), Qt::AlignLeft, TwipsRect(2580, 660, 900, row));
    Label(fraInfo, "lblHeightCol", tr("高さ："), Qt::AlignRight, TwipsRect(180, 1020, 1455, row));
    lblHeight = Label(fraInfo, "lblHeight", QString::number(size.height()), Qt::AlignRight,
                      TwipsRect(1740, 1020, 795, row));
    Label(fraInfo, "lblPixcel_1", tr("ピクセル"), Qt::AlignLeft, TwipsRect(2580, 1020, 900, row));
    // A long name is cut with an ellipsis rather than overflowing the frame;
    // the whole path is in the tooltip.
    lblFileNm->setText(lblFileNm->fontMetrics().elidedText(fileName, Qt::ElideMiddle,
                                                           lblFileNm->width()));
    lblFileNm->setToolTip(filePath);

    auto* fraBtn = new QFrame(this);
    fraBtn->setObjectName(QStringLiteral("fraBtn"));
    fraBtn->setGeometry(TwipsRect(3660, 1560, 1515, 465));
    cmdOK = new QPushButton(QStringLiteral("OK"), fraBtn);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(TwipsRect(60, 60, 1380, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

void PictureInfoDialog::keyPressEvent(QKeyEvent* event)
{
    // OK is the default button (Enter); it is not the cancel button, and the
    // dialog has no close box, so Esc does nothing.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

namespace dialogs {

void ShowPictureInfo(const shell::FileSelection& selection, QWidget* owner, MessageBoxes& messages)
{
    const int count = selection.ListCount();
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i)
        if (selection.Selected(i))
            found = i;
    if (found < 0)
        return;  // no item, or none selected: nothing to show

    const QString fileName = selection.List(found);
    const QString filePath = base::JoinPath(selection.FolderText(), fileName);
    // The header gives the size, turned upright: no pixel is decoded, so even
    // a 100-megapixel photo answers at once.
    const pictures::PictureInfo info = pictures::ReadPictureSize(filePath);
    if (!info.Ok()) {
        messages.ShowError(info.Error->Description);
        return;
    }
    PictureInfoDialog dialog(owner, fileName, filePath, info.Size);
    dialog.exec();
}

}  // namespace dialogs

// The About box, laid out in twips like every Zembrik window and converted
// at the screen's twips per pixel.
#include "dialogs/aboutdialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "shell/program.h"
#include "shell/icons.h"
#include "shell/twips.h"

namespace {

struct TwipRect {
    int left, top, width, height;
};

QRect ToPixels(const TwipRect& r)
{
    const int tx = shell::TwipsPerPixelX();
    const int ty = shell::TwipsPerPixelY();
    return QRect(shell::TwipsToPixels(r.left, tx), shell::TwipsToPixels(r.top, ty),
                 shell::TwipsToPixels(r.width, tx), shell::TwipsToPixels(r.height, ty));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const TwipRect& place)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(ToPixels(place));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// One line of the engraved separator: a strip of one colour.
void MakeLine(QWidget* parent, const char* name, const QRect& place, const QColor& colour)
{
    auto* line = new QWidget(parent);
    line->setObjectName(QLatin1String(name));
    line->setGeometry(place);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
}

// The labels are designed for a font whose lines are tighter than those of the
// gothic that stands in for it elsewhere: a text that would be cut off first
// takes the free space below its label, then a slightly smaller size.
void FitText(QLabel* label, int bottomLimit)
{
    if (label->heightForWidth(label->width()) <= label->height())
        return;
    label->resize(label->width(), std::max(label->height(), bottomLimit - label->y()));
    QFont smaller = label->font();
    while (label->heightForWidth(label->width()) > label->height() && smaller.pointSizeF() > 7.0) {
        smaller.setPointSizeF(smaller.pointSizeF() - 0.25);
        label->setFont(smaller);
    }
}

}  // namespace

AboutDialog::AboutDialog(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);

    const QRect client = ToPixels({2340, 1890, 5730, 3555});
    setFixedSize(client.size());

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(ToPixels({240, 240, 540, 540}));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(shell::ProgramIcon().pixmap(32, 32));

    lblTitle = MakeLabel(this, "lblTitle", {1050, 240, 3885, 480});
    QFont titleFont = font();
    titleFont.setPointSizeF(font().pointSizeF() * 1.5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblVersion = MakeLabel(this, "lblVersion", {1050, 780, 3885, 225});
    lblDescription = MakeLabel(this, "lblDescription", {1050, 1125, 3885, 1170});
    lblDescription->setText(
        tr("指定したフォルダ内の JPEG・HEIC（HEIF）・AVIF・PNG・WebP・TIFF・BMP・GIF 画像を、一括でサイズ変更し、JPEG 形式で保存します。") +
        QStringLiteral("\n") +
        tr("デジカメで撮った画像を、ホームページに掲載する目的でファイルサイズを小さくする場合などにご利用ください。"));

    // The engraved separator: grey, and white one pixel below it.
    const QRect grey = ToPixels({90, 2445, 5654 - 90, 0});
    MakeLine(this, "Line1_1", QRect(grey.left(), grey.top(), grey.width(), 1), QColor(128, 128, 128));
    const QRect white = ToPixels({105, 2460, 5654 - 105, 0});
    MakeLine(this, "Line1_0", QRect(white.left(), grey.top() + 1, white.width(), 2), QColor(255, 255, 255));

    lblDisclaimer = MakeLabel(this, "lblDisclaimer", {255, 2625, 3870, 825});
    lblDisclaimer->setText(tr("本ソフトウェアは無保証で提供されます。\n"
                              "ご使用によって生じたいかなる損害にも、\n"
                              "作者は一切の責任を負いません。"));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(ToPixels({4245, 2625, 1380, 345}));
    cmdOK->setDefault(true);  // Enter; Esc closes the dialog through QDialog::reject
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    SetTexts();
    FitText(lblTitle, lblVersion->y());
    FitText(lblDescription, grey.top() - 2);
    FitText(lblDisclaimer, client.height() - 4);

    // First place: the client area's top left corner at 2340, 1890 twips on the screen.
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    setGeometry(QRect(origin + client.topLeft(), client.size()));
}

void AboutDialog::SetTexts()
{
    setWindowTitle(tr("%1　のバージョン情報").arg(base::AppTitle));
    lblVersion->setText(VersionLine(base::VersionMajor, base::VersionMinor, base::VersionRevision));
    lblTitle->setText(base::AppTitle);
}

QString AboutDialog::VersionLine(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

void AboutDialog::ShowModal(QWidget* owner)
{
    AboutDialog box(owner);
    box.exec();
}

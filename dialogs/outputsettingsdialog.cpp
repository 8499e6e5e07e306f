// The output settings dialog. Laid out by Qt's layouts rather than in twips:
// it has more rows than the other small dialogs, and the stand-in gothic is
// wider than the font they were designed for, so the layout sizes it to its
// texts and then fixes that size.
#include "dialogs/outputsettingsdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>

#include <algorithm>

#include "shell/messageboxes.h"

namespace {

template <typename Widget, typename... Args>
Widget* Make(QWidget* parent, const char* name, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QSpinBox* NumberBox(QWidget* parent, const char* name, int low, int high, int value)
{
    auto* box = Make<QSpinBox>(parent, name);
    box->setRange(low, high);
    box->setValue(value);
    box->setAlignment(Qt::AlignRight);
    return box;
}

// A row set in under the text of the check box or option above it.
QHBoxLayout* Indented(int indent, QWidget* first)
{
    auto* row = new QHBoxLayout;
    row->addSpacing(indent);
    row->addWidget(first);
    return row;
}

}  // namespace

OutputSettingsDialog::OutputSettingsDialog(const output::Settings& settings, MessageBoxes& messages, QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint), messages_(messages)
{
    setObjectName(QStringLiteral("frmOutputSettings"));
    setWindowTitle(tr("出力の設定"));
    setModal(true);

    auto* fraSize = Make<QGroupBox>(this, "fraSize", tr("大きさ"));
    optRatio = Make<QRadioButton>(fraSize, "optRatio", tr("ツールバーの縮小率"));
    optBox = Make<QRadioButton>(fraSize, "optBox", tr("幅"));
    optBox->setAccessibleName(tr("幅 W × 高さ H ピクセル以内"));
    auto* sizeMode = new QButtonGroup(this);
    sizeMode->addButton(optRatio);
    sizeMode->addButton(optBox);
    txtWidth = NumberBox(fraSize, "txtWidth", output::MinBoxSide, output::MaxBoxSide, settings.Box.width());
    txtHeight = NumberBox(fraSize, "txtHeight", output::MinBoxSide, output::MaxBoxSide, settings.Box.height());
    cboPreset = Make<QComboBox>(fraSize, "cboPreset");
    for (const QSize& preset : output::BoxPresets)
        cboPreset->addItem(QStringLiteral("%1 × %2").arg(preset.width()).arg(preset.height()), preset);
    auto* lblPreset = Make<QLabel>(fraSize, "lblPreset", tr("定型サイズ："));
    lblPreset->setBuddy(cboPreset);

    const int radioIndent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                            style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    auto* sizeGrid = new QGridLayout(fraSize);
    sizeGrid->addWidget(optRatio, 0, 0, 1, 6);
    sizeGrid->addWidget(optBox, 1, 0);
    sizeGrid->addWidget(txtWidth, 1, 1);
    auto* lblBy = Make<QLabel>(fraSize, "lblBy", tr("× 高さ"));
    auto* lblPixels = Make<QLabel>(fraSize, "lblPixels", tr("ピクセル以内"));
    boxControls_ = {txtWidth, lblBy, txtHeight, lblPixels, lblPreset, cboPreset};
    sizeGrid->addWidget(lblBy, 1, 2);
    sizeGrid->addWidget(txtHeight, 1, 3);
    sizeGrid->addWidget(lblPixels, 1, 4);
    sizeGrid->setColumnStretch(5, 1);
    sizeGrid->addLayout(Indented(radioIndent, lblPreset), 2, 0);
    sizeGrid->addWidget(cboPreset, 2, 1, 1, 3);

    // Further sizes, each written into its own subfolder; as wide as the
    // widest size needs, so that the row does not widen the dialog.
    auto* lblMoreBoxes = Make<QLabel>(fraSize, "lblMoreBoxes", tr("ほかの大きさ："));
    auto* moreRow = new QHBoxLayout;
    for (int i = 1; i < output::MaxStoredBoxes; ++i) {
        const QByteArray name = "txtMoreBox" + QByteArray::number(i);
        auto* edit = Make<QLineEdit>(fraSize, name.constData());
        edit->setPlaceholderText(tr("例：1280x960"));
        edit->setMaxLength(11);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("65500x65500")) +
                            2 * edit->fontMetrics().averageCharWidth() + 8);
        const std::size_t k = static_cast<std::size_t>(i - 1);
        if (k < settings.MoreBoxes.size())
            edit->setText(output::BoxFolderName(settings.MoreBoxes[k]));
        txtMoreBoxes << edit;
        boxControls_ << edit;
        moreRow->addWidget(edit);
    }
    moreRow->addStretch();
    lblMoreBoxes->setBuddy(txtMoreBoxes.front());
    boxControls_ << lblMoreBoxes;
    sizeGrid->addLayout(Indented(radioIndent, lblMoreBoxes), 3, 0);
    sizeGrid->addLayout(moreRow, 3, 1, 1, 5);

    auto* fraFile = Make<QFrame>(this, "fraFile");
    fraFile->setFrameShape(QFrame::Box);
    fraFile->setFrameShadow(QFrame::Sunken);
    txtQuality = NumberBox(fraFile, "txtQuality", output::MinQuality, output::MaxQuality, settings.Quality);
    auto* lblQuality = Make<QLabel>(fraFile, "lblQuality", tr("JPEG の品質："));
    lblQuality->setBuddy(txtQuality);
    // With a limit, the quality above is the highest tried.
    txtMaxKilobytes = NumberBox(fraFile, "txtMaxKilobytes", 0, output::MaxLimitKilobytes,
                                int(std::min<qint64>((settings.MaxBytes + 1023) / 1024, output::MaxLimitKilobytes)));
    txtMaxKilobytes->setSpecialValueText(tr("なし"));
    txtMaxKilobytes->setSuffix(QStringLiteral(" KB"));
    auto* lblMaxKilobytes = Make<QLabel>(fraFile, "lblMaxKilobytes", tr("ファイルの上限："));
    lblMaxKilobytes->setBuddy(txtMaxKilobytes);
    chkKeepMetadata = Make<QCheckBox>(fraFile, "chkKeepMetadata", tr("撮影情報 (Exif・XMP) を残す"));
    chkKeepGps = Make<QCheckBox>(fraFile, "chkKeepGps", tr("位置情報 (GPS) も残す"));
    chkKeepDate = Make<QCheckBox>(fraFile, "chkKeepDate", tr("元の画像の更新日時を付ける"));
    txtSuffix = Make<QLineEdit>(fraFile, "txtSuffix", settings.Suffix);
    txtSuffix->setPlaceholderText(tr("例：_small"));
    auto* lblSuffix = Make<QLabel>(fraFile, "lblSuffix", tr("ファイル名の末尾に付ける文字："));
    lblSuffix->setBuddy(txtSuffix);
    chkSkipUpToDate = Make<QCheckBox>(fraFile, "chkSkipUpToDate", tr("出力が最新の画像は飛ばす"));
    chkKeepMetadata->setChecked(settings.KeepMetadata);
    chkKeepGps->setChecked(settings.KeepGps);
    chkKeepDate->setChecked(settings.KeepDate);
    chkSkipUpToDate->setChecked(settings.SkipUpToDate);

    const int checkIndent = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                            style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    auto* fileGrid = new QGridLayout(fraFile);
    auto* qualityRow = new QHBoxLayout;
    qualityRow->addWidget(lblQuality);
    qualityRow->addWidget(txtQuality);
    qualityRow->addSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) * 3);
    qualityRow->addWidget(lblMaxKilobytes);
    qualityRow->addWidget(txtMaxKilobytes);
    qualityRow->addStretch();
    fileGrid->addLayout(qualityRow, 0, 0, 1, 2);
    fileGrid->addWidget(chkKeepMetadata, 1, 0, 1, 2);
    fileGrid->addLayout(Indented(checkIndent, chkKeepGps), 2, 0, 1, 2);
    fileGrid->addWidget(chkKeepDate, 3, 0, 1, 2);
    fileGrid->addWidget(lblSuffix, 4, 0);
    fileGrid->addWidget(txtSuffix, 4, 1);
    fileGrid->addWidget(chkSkipUpToDate, 5, 0, 1, 2);
    fileGrid->setColumnStretch(1, 1);

    auto* fraBtn = Make<QFrame>(this, "fraBtn");
    cmdOK = Make<QPushButton>(fraBtn, "cmdOK", QStringLiteral("OK"));
    cmdCancel = Make<QPushButton>(fraBtn, "cmdCancel", tr("キャンセル"));
    cmdOK->setDefault(true);
    auto* buttons = new QHBoxLayout(fraBtn);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* root = new QVBoxLayout(this);
    root->addWidget(fraSize);
    root->addWidget(fraFile);
    root->addWidget(fraBtn);

    (settings.Size == output::SizeMode::Box ? optBox : optRatio)->setChecked(true);
    UpdateControls();
    connect(optBox, &QRadioButton::toggled, this, &OutputSettingsDialog::UpdateControls);
    connect(chkKeepMetadata, &QCheckBox::toggled, this, &OutputSettingsDialog::UpdateControls);
    connect(txtWidth, &QSpinBox::valueChanged, this, &OutputSettingsDialog::UpdateControls);
    connect(txtHeight, &QSpinBox::valueChanged, this, &OutputSettingsDialog::UpdateControls);
    connect(cboPreset, &QComboBox::activated, this, [this](int index) {
        const QSize preset = cboPreset->itemData(index).toSize();
        txtWidth->setValue(preset.width());
        txtHeight->setValue(preset.height());
    });
    connect(cmdOK, &QPushButton::clicked, this, &OutputSettingsDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &OutputSettingsDialog::reject);
    setFixedSize(sizeHint());
}

void OutputSettingsDialog::UpdateControls()
{
    for (QWidget* w : boxControls_)
        w->setEnabled(optBox->isChecked());
    // GPS tags travel only with the rest of the metadata.
    chkKeepGps->setEnabled(chkKeepMetadata->isChecked());
    // The preset the numbers are, if they are one.
    cboPreset->setCurrentIndex(cboPreset->findData(QSize(txtWidth->value(), txtHeight->value())));
}

output::Settings OutputSettingsDialog::Result() const
{
    output::Settings s;
    s.Size = optBox->isChecked() ? output::SizeMode::Box : output::SizeMode::Ratio;
    s.Box = QSize(txtWidth->value(), txtHeight->value());
    s.Quality = txtQuality->value();
    s.KeepMetadata = chkKeepMetadata->isChecked();
    s.KeepGps = chkKeepGps->isChecked();
    s.KeepDate = chkKeepDate->isChecked();
    s.Suffix = txtSuffix->text();
    s.SkipUpToDate = chkSkipUpToDate->isChecked();
    // Empty fields are unused; a size given twice is written once.
    for (const QLineEdit* edit : txtMoreBoxes) {
        const QSize box = output::ParseBox(edit->text().trimmed());
        const std::vector<QSize> known = output::AllBoxes(s);
        if (!box.isEmpty() && std::find(known.begin(), known.end(), box) == known.end())
            s.MoreBoxes.push_back(box);
    }
    s.MaxBytes = qint64(txtMaxKilobytes->value()) * 1024;
    return s;
}

void OutputSettingsDialog::accept()
{
    const QString forbidden = output::ForbiddenNameCharacters(txtSuffix->text());
    if (!forbidden.isEmpty()) {
        messages_.ShowMessage(output::ForbiddenSuffixText(forbidden));
        txtSuffix->setFocus();
        txtSuffix->selectAll();
        return;
    }
    if (optBox->isChecked()) {
        for (QLineEdit* edit : txtMoreBoxes) {
            const QString text = edit->text().trimmed();
            if (text.isEmpty() || !output::ParseBox(text).isEmpty())
                continue;
            messages_.ShowMessage(tr("大きさ（%1）が正しくありません。幅x高さで、各辺 %2〜%3 ピクセルの数を入力してください。")
                                      .arg(text)
                                      .arg(output::MinBoxSide)
                                      .arg(output::MaxBoxSide));
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
    QDialog::accept();
}

std::optional<output::Settings> OutputSettingsDialog::Ask(const output::Settings& settings, MessageBoxes& messages,
                                                       QWidget* owner)
{
    OutputSettingsDialog dialog(settings, messages, owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Result();
}

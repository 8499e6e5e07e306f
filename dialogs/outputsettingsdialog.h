// "出力の設定": the output settings in a small modal dialog: the size (the
// toolbar's ratio, or a box in pixels with a few presets), the JPEG quality,
// what is kept of the source (metadata, GPS position, date), the suffix for
// the names and whether pictures whose output is up to date are skipped; with
// the box, up to three more sizes, and a limit on each file's size. It shows
// a settings value and gives one back; a suffix a file name cannot hold and a
// further size that is no WxH are refused with a message.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QList>
#include <optional>

#include "output/outputsettings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class MessageBoxes;

class OutputSettingsDialog final : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(OutputSettingsDialog)

public:
    // messages shows the refusal of a bad suffix.
    OutputSettingsDialog(const output::Settings& settings, MessageBoxes& messages, QWidget* owner = nullptr);

    // The settings as the controls show them.
    output::Settings Result() const;

    // Shows the dialog modally: the settings confirmed with OK, or nothing
    // when it was cancelled.
    static std::optional<output::Settings> Ask(const output::Settings& settings, MessageBoxes& messages,
                                               QWidget* owner = nullptr);

    // OK: closes unless the suffix holds a character a name cannot or a
    // further size is not one.
    void accept() override;

    QRadioButton* optRatio;
    QRadioButton* optBox;
    QSpinBox* txtWidth;
    QSpinBox* txtHeight;
    QComboBox* cboPreset;
    QList<QLineEdit*> txtMoreBoxes;  // "1280x960", or empty for none
    QSpinBox* txtQuality;
    QSpinBox* txtMaxKilobytes;  // 0: no limit
    QCheckBox* chkKeepMetadata;
    QCheckBox* chkKeepGps;
    QCheckBox* chkKeepDate;
    QLineEdit* txtSuffix;
    QCheckBox* chkSkipUpToDate;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    void UpdateControls();
    MessageBoxes& messages_;
    QList<QWidget*> boxControls_;  // in force only with the size box
};

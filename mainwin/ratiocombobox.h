// The toolbar's ratio box (cboRitu): an editable list of reduction ratios that
// takes the keys the rules in ratiobox.h let through, drops leading zeros as
// they are typed, and is rewritten in its normal form ("12.5%") when the
// focus moves on to another control of its window.
#pragma once

#include <QComboBox>

class QLineEdit;

class RatioComboBox final : public QComboBox {
    Q_OBJECT
public:
    // Lists 10% to 100%, showing 100.0%.
    explicit RatioComboBox(QWidget* parent = nullptr);
    ~RatioComboBox() override;

    // Rewrites the text into its normal form, as leaving the box does.
    void Normalise();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTextChanged();
    void OnFocusChanged(QWidget* old, QWidget* now);

    QLineEdit* edit_ = nullptr;
};

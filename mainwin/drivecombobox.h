// The drive list (drvList): the roots of the mounted volumes (drive letters on
// Windows), read again each time its list drops down, so that a volume
// mounted since is there. A volume gone since keeps its place while it is the
// one chosen.
#pragma once

#include <QComboBox>
#include <QStringList>

class DriveComboBox final : public QComboBox {
    Q_OBJECT
public:
    explicit DriveComboBox(QWidget* parent = nullptr);

    // Reads the mounted volumes again, the choice kept and unannounced.
    void Refresh();
    // The root of the drive path lies on; empty when none holds it.
    QString RootOf(const QString& path) const;
    // Chooses the drive at root, listing it first if it is not; nothing for an empty root.
    void SetDrive(const QString& root);
    // The root of the drive chosen.
    QString Root() const;

protected:
    void showPopup() override;

private:
    QStringList roots_;
};

// Loading the program icon and the toolbar pictures from the resources.
#include "shell/icons.h"

#include <QBitmap>
#include <QPixmap>

// The resources live in a static library, so they are registered by hand
// (outside any namespace, as the registration macro requires). Qt registers
// the same data only once, however often it is asked.
static void RegisterShellResources()
{
    Q_INIT_RESOURCE(shell);
}

namespace shell {

QIcon ProgramIcon()
{
    RegisterShellResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/zembrik/zembrik16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/zembrik/zembrik.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/zembrik/zembrik48.png"), QSize(48, 48));
    return icon;
}

QIcon ToolbarIcon(const QString& key)
{
    RegisterShellResources();
    QString file;
    if (key == QLatin1String("RUN"))
        file = QStringLiteral(":/zembrik/tb_run.png");
    else if (key == QLatin1String("VIEW"))
        file = QStringLiteral(":/zembrik/tb_view.png");
    else if (key == QLatin1String("CLOSE"))
        file = QStringLiteral(":/zembrik/tb_close.png");
    else if (key == QLatin1String("OPTION"))
        file = QStringLiteral(":/zembrik/tb_option.png");
    else
        return {};
    QPixmap picture(file);
    if (picture.isNull())
        return {};
    picture.setMask(picture.createMaskFromColor(ToolbarMaskColour, Qt::MaskInColor));
    return QIcon(picture);
}

}  // namespace shell

// Reading the paths the main window is asked to open.
#include "mainwin/openwith.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <fstream>
#include <system_error>

#include "base/paths.h"
#include "files/pathfacts.h"

namespace mainwin::openwith {

Request Read(const QStringList& arguments, const QStringList& nameFilters)
{
    Request request;
    struct Picture {
        QString Folder, Name;
    };
    QList<Picture> pictures;
    for (const QString& argument : arguments) {
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? base::LocalPathOf(url) : argument;
        const QFileInfo info(path);
        const QString absolute = QDir::cleanPath(info.absoluteFilePath());
        // Asked of the file system with the name's own bytes: Qt would look
        // for another name when they are not UTF-8.
        const std::filesystem::path native = base::ToFsPath(path);
        const files::PathKind kind = files::FactsOf(native).Kind;
        if (!path.isEmpty() && kind == files::PathKind::Folder) {
            if (request.Folder.isEmpty())
                request.Folder = absolute;
        } else if (kind == files::PathKind::File && std::ifstream(native).is_open() &&
                   base::NameMatches(nameFilters, info.fileName())) {
            const QString folder = QFileInfo(absolute).path();
            if (request.Folder.isEmpty())
                request.Folder = folder;
            pictures.append({folder, info.fileName()});
        } else {
            request.Ignored.append(argument);
        }
    }
    for (const Picture& picture : std::as_const(pictures)) {
        if (picture.Folder == request.Folder && !request.Names.contains(picture.Name))
            request.Names.append(picture.Name);
    }
    request.Folder = QDir::toNativeSeparators(request.Folder);
    return request;
}

Report Unopened(const QStringList& ignored)
{
    QStringList lines = ignored.mid(0, MaxListed);
    if (ignored.size() > MaxListed)
        lines.append(QCoreApplication::translate("mainwin::openwith", "ほか %n 個", nullptr, int(ignored.size() - MaxListed)));
    return {QCoreApplication::translate("mainwin::openwith", "指定されたファイルを開けません。"), lines.join(QLatin1Char('\n'))};
}

}  // namespace mainwin::openwith

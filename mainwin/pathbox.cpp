// Completion and navigation rules of the path box.
#include "mainwin/pathbox.h"

#include <QDir>
#include <QFileInfo>

#include "shell/program.h"

namespace mainwin::path {
namespace {

bool EndsInSeparator(const QString& text)
{
    return text.endsWith(QLatin1Char('/')) || text.endsWith(base::Separator());
}

}  // namespace

QStringList SubFolderPaths(const QString& text)
{
    QStringList paths;
    if (!EndsInSeparator(text))
        return paths;
    const QDir dir(text);
    if (!dir.exists())
        return paths;
    // Without QDir::Hidden, names starting with "." are skipped as hidden folders.
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    paths.reserve(names.size());
    for (const QString& name : names)
        paths.append(text + name);
    return paths;
}

QStringList AppendNew(QStringList& items, const QStringList& paths)
{
    QStringList appended;
    for (const QString& path : paths) {
        if (!items.contains(path)) {
            items.append(path);
            appended.append(path);
        }
    }
    return appended;
}

qsizetype FindPrefix(const QStringList& items, const QString& prefix)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).startsWith(prefix, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

Completion Complete(const QStringList& items, const QString& text, qsizetype caret)
{
    Completion c;
    c.Caret = qBound<qsizetype>(0, caret, text.size());
    const QString typed = text.left(c.Caret);
    c.Index = FindPrefix(items, typed);
    c.Text = c.Index >= 0 ? items.at(c.Index) : typed;
    return c;
}

QString NavigationPath(const QString& text)
{
    if (!EndsInSeparator(text) || text.size() <= 1)
        return text;
    // "C:\" and "/" name a root; without their separator they would not.
    if (QFileInfo(text).isRoot() || QDir(text).isRoot())
        return text;
    return text.left(text.size() - 1);
}

bool SameFolder(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const auto clean = [](const QString& path) {
        return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
    };
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    return clean(a).compare(clean(b), cs) == 0;
}

}  // namespace mainwin::path

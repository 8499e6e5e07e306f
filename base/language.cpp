// The choice of language and the translators that carry it out.
#include "base/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>

// Zembrik's translations are compiled into the base library as a resource,
// which a static library registers by hand (outside any namespace).
static void RegisterTranslations()
{
    Q_INIT_RESOURCE(zembrik_base_translations);
}

namespace base {

Language ChooseLanguage(const QString& setting, const QStringList& uiLanguages)
{
    const QString forced = setting.trimmed().toLower();
    if (forced == QLatin1String("ja"))
        return Language::Japanese;
    if (forced == QLatin1String("en"))
        return Language::English;
    if (uiLanguages.isEmpty())
        return Language::English;
    const QString first = uiLanguages.first();
    const bool japanese = first.compare(QLatin1String("ja"), Qt::CaseInsensitive) == 0 ||
                          first.startsWith(QLatin1String("ja-"), Qt::CaseInsensitive) ||
                          first.startsWith(QLatin1String("ja_"), Qt::CaseInsensitive);
    return japanese ? Language::Japanese : Language::English;
}

Language UserLanguage(QSettings& store)
{
    return ChooseLanguage(store.value(LanguageKey).toString(), QLocale::system().uiLanguages());
}

QString HelpFileName(Language language)
{
    return language == Language::Japanese ? QStringLiteral("Kolvane.html") : QStringLiteral("Kolvane_en.html");
}

Translations::Translations(Language language) : language_(language)
{
    if (language == Language::English) {
        RegisterTranslations();
        // A build without its translation would speak Japanese: that is a
        // fault of the build, which the translation test catches.
        if (own_.load(QStringLiteral(":/i18n/zembrik_en.qm")))
            ownInstalled_ = QCoreApplication::installTranslator(&own_);
        return;
    }
    qtFound_ = qt_.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (qtFound_)
        qtInstalled_ = QCoreApplication::installTranslator(&qt_);
}

Translations::~Translations()
{
    if (ownInstalled_)
        QCoreApplication::removeTranslator(&own_);
    if (qtInstalled_)
        QCoreApplication::removeTranslator(&qt_);
}

}  // namespace base

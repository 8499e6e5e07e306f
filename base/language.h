// The language Zembrik speaks: Japanese, the language its texts are written
// in, or English from its translation. Chosen once at start from the settings
// file or the desktop's languages, and handed as a value to what needs it.
#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>

class QSettings;

namespace base {

enum class Language { Japanese, English };

// The settings key that forces a language ("ja" or "en"); any other value,
// or none, follows the desktop.
inline const QString LanguageKey = QStringLiteral("Settings/Language");

// Japanese when the setting says "ja", English when it says "en"; otherwise
// Japanese when the first of the desktop's languages (as
// QLocale::uiLanguages() lists them: "ja-JP", "en_GB", "C") is Japanese,
// English for any other, none and the C locale included.
Language ChooseLanguage(const QString& setting, const QStringList& uiLanguages);

// The choice for this user: their settings file and the system's locale.
Language UserLanguage(QSettings& store);

// The help page in that language, as it lies beside the program.
QString HelpFileName(Language language);

// Zembrik's texts and Qt's own (standard buttons, file dialogs, command-line
// help) in a language, for as long as the object lives: Japanese is the
// texts as written with Qt's Japanese translation (when installed; Debian:
// qt6-translations-l10n), English is Zembrik's English translation with Qt's
// own English. Make it after the application object and before any window.
class Translations {
public:
    explicit Translations(Language language);
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    Language language() const { return language_; }
    // Whether Qt's Japanese texts were found (always true for English).
    bool qtTextsFound() const { return qtFound_; }

private:
    Language language_;
    QTranslator own_;
    QTranslator qt_;
    bool ownInstalled_ = false;
    bool qtInstalled_ = false;
    bool qtFound_ = true;
};

}  // namespace base

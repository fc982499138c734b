// The word lists of languages that the system installs (Debian's w* packages in /usr/share/dict),
// and the one that suits the user's locale.
#pragma once

#include "store/codepage.h"

#include <QList>
#include <QString>
#include <optional>

// A word list of one language, one word per line, UTF-8 or, written before its package moved to
// UTF-8, the older code page of its language.
struct LanguageList {
    QString file;     // its name in the folder, and how the settings name it
    QString language; // as the user knows it
    CodePage (*olderCodePage)();
};

// The known list whose file is named file; nothing for any other name.
std::optional<LanguageList> languageList(const QString& file);
// The known lists whose file is in folder, in the order they are offered.
QList<LanguageList> installedLanguageLists(const QString& folder);
// The installed list for a locale ("de_DE.UTF-8", "pt_BR", "uk"): one made for its language and
// territory, else for its language, else one of its language made for another territory. Nothing
// for English, whose words the program comes with, for C and POSIX, and when none is installed.
std::optional<LanguageList> listForLocale(const QString& localeName, const QList<LanguageList>& installed);
// The locale naming the user's language: LC_ALL, else LC_MESSAGES, else LANG, the first one set.
QString userLocaleName();

// Debian's word lists by file, language and older code page, as their packages describe them.
#include "languagelists.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {
struct KnownList {
    const char* file;
    const char* language;
    // Locales it is made for, language or language_TERRITORY, parted by blanks.
    const char* locales;
    CodePage (*olderCodePage)();
};

// The older code pages are those the packages' own changelogs and dictionaries-common entries
// name: Latin-1 for western Europe, Latin-2 for Polish, Latin-3 for Esperanto, KOI8-U for
// Ukrainian, Windows-1251 for Bulgarian. wnorwegian and wswedish still ship Latin-1 files.
// English lists are made for no locale: the default words are English already.
constexpr KnownList knownLists[] = {
    {"ngerman", "German", "de", iso8859_1},
    {"ogerman", "German (traditional spelling)", "", iso8859_1},
    {"swiss", "German (Swiss)", "de_CH de_LI", iso8859_1},
    {"french", "French", "fr", iso8859_1},
    {"spanish", "Spanish", "es", iso8859_1},
    {"italian", "Italian", "it", iso8859_1},
    {"portuguese", "Portuguese", "pt", iso8859_1},
    {"brazilian", "Portuguese (Brazilian)", "pt_BR", iso8859_1},
    {"dutch", "Dutch", "nl", iso8859_1},
    {"swedish", "Swedish", "sv", iso8859_1},
    {"bokmaal", "Norwegian Bokm\u00e5l", "nb no", iso8859_1},
    {"nynorsk", "Norwegian Nynorsk", "nn", iso8859_1},
    {"danish", "Danish", "da", iso8859_1},
    {"faroese", "Faroese", "fo", iso8859_1},
    {"catalan", "Catalan", "ca", iso8859_1},
    {"galician-minimos", "Galician", "gl", iso8859_1},
    {"irish", "Irish", "ga", iso8859_1},
    {"gaelic", "Scottish Gaelic", "gd", iso8859_1},
    {"manx", "Manx", "gv", iso8859_1},
    {"polish", "Polish", "pl", iso8859_2},
    {"esperanto", "Esperanto", "eo", iso8859_3},
    {"ukrainian", "Ukrainian", "uk", koi8u},
    {"bulgarian", "Bulgarian", "bg", windows1251},
    {"american-english", "English (American)", "", iso8859_1},
    {"american-english-small", "English (American, small)", "", iso8859_1},
    {"american-english-large", "English (American, large)", "", iso8859_1},
    {"american-english-huge", "English (American, huge)", "", iso8859_1},
    {"american-english-insane", "English (American, every word)", "", iso8859_1},
    {"british-english", "English (British)", "", iso8859_1},
    {"british-english-small", "English (British, small)", "", iso8859_1},
    {"british-english-large", "English (British, large)", "", iso8859_1},
    {"british-english-huge", "English (British, huge)", "", iso8859_1},
    {"british-english-insane", "English (British, every word)", "", iso8859_1},
    {"canadian-english", "English (Canadian)", "", iso8859_1},
    {"canadian-english-small", "English (Canadian, small)", "", iso8859_1},
    {"canadian-english-large", "English (Canadian, large)", "", iso8859_1},
    {"canadian-english-huge", "English (Canadian, huge)", "", iso8859_1},
    {"canadian-english-insane", "English (Canadian, every word)", "", iso8859_1},
};

LanguageList toList(const KnownList& known) {
    return {QString::fromLatin1(known.file), QString::fromUtf8(known.language), known.olderCodePage};
}

const KnownList* findKnown(const QString& file) {
    for (const KnownList& known : knownLists) {
        if (file == QLatin1String(known.file))
            return &known;
    }
    return nullptr;
}
} // namespace

std::optional<LanguageList> languageList(const QString& file) {
    const KnownList* known = findKnown(file);
    return known ? std::optional(toList(*known)) : std::nullopt;
}

QList<LanguageList> installedLanguageLists(const QString& folder) {
    QList<LanguageList> installed;
    const QDir dir(folder);
    for (const KnownList& known : knownLists) {
        if (QFileInfo(dir.filePath(QLatin1String(known.file))).isFile())
            installed.append(toList(known));
    }
    return installed;
}

std::optional<LanguageList> listForLocale(const QString& localeName, const QList<LanguageList>& installed) {
    // language[_TERRITORY][.codeset][@modifier]
    const QString name = localeName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    const QString language = name.section(QLatin1Char('_'), 0, 0).toLower();
    const QString territory = name.section(QLatin1Char('_'), 1, 1).toUpper();
    if (language.isEmpty())
        return std::nullopt;
    std::optional<LanguageList> best;
    int bestScore = 0;
    for (const LanguageList& list : installed) {
        const KnownList* known = findKnown(list.file);
        if (!known)
            continue;
        for (const QString& locale :
             QString::fromLatin1(known->locales).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (locale.section(QLatin1Char('_'), 0, 0) != language)
                continue;
            const QString madeFor = locale.section(QLatin1Char('_'), 1, 1);
            const int score = madeFor.isEmpty() ? 2 : madeFor == territory ? 3 : 1;
            if (score > bestScore) {
                bestScore = score;
                best = list;
            }
        }
    }
    return best;
}

QString userLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

// Build-time tool: makes the shipped words.mdb, the default words with how common each is,
// from dictionary files.
#include "tools/wordsfile.h"

#include <QFile>
#include <QHash>
#include <QString>
#include <QStringDecoder>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {
// Only words the completion can offer whole: letters, no apostrophes, digits or blanks.
bool isLettersOnly(const QString& word) {
    if (word.isEmpty())
        return false;
    for (const char32_t c : word.toUcs4())
        if (!QChar::isLetter(c))
            return false;
    return true;
}

int failWith(const QString& message) {
    std::fprintf(stderr, "makewordsdb: %s\n", qPrintable(message));
    return 1;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: makewordsdb [CLASS=]DICTIONARY... OUTPUT\n"
                             "Makes the words database OUTPUT holding, as default words, the lines of the\n"
                             "UTF-8 files DICTIONARY that are made of letters only. A word's commonness is\n"
                             "the smallest CLASS (a whole number, smaller is commoner) of the files that\n"
                             "hold it; a file without a class gives none.\n");
        return 2;
    }
    const QString outputPath = QString::fromLocal8Bit(argv[argc - 1]);

    std::vector<WordRow> rows;
    QHash<QString, std::size_t> rowOfWord;
    for (int i = 1; i < argc - 1; ++i) {
        QString dictionaryPath = QString::fromLocal8Bit(argv[i]);
        std::optional<int> commonness;
        if (const qsizetype equals = dictionaryPath.indexOf(QLatin1Char('=')); equals > 0) {
            bool isNumber = false;
            const int number = dictionaryPath.left(equals).toInt(&isNumber);
            if (isNumber) {
                commonness = number;
                dictionaryPath = dictionaryPath.mid(equals + 1);
            }
        }
        QFile dictionary(dictionaryPath);
        if (!dictionary.open(QIODevice::ReadOnly))
            return failWith(
                QStringLiteral("cannot read %1: %2").arg(dictionaryPath, dictionary.errorString()));
        const QString text = QStringDecoder(QStringConverter::Utf8).decode(dictionary.readAll());
        for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
            const QString word = line.trimmed().toString();
            if (!isLettersOnly(word))
                continue;
            const auto known = rowOfWord.constFind(word);
            if (known == rowOfWord.constEnd()) {
                rowOfWord.insert(word, rows.size());
                rows.push_back({word, std::nullopt, commonness});
                continue;
            }
            std::optional<int>& kept = rows[*known].commonness;
            if (commonness && (!kept || *commonness < *kept))
                kept = commonness;
        }
    }
    if (rows.empty())
        return failWith(QStringLiteral("the dictionaries hold no words"));

    // The database is made under a name of its own and then put in place whole, so that an
    // interrupted build never leaves a half-made words.mdb behind.
    const QString temporaryPath = outputPath + QStringLiteral(".new");
    QFile::remove(temporaryPath);
    QString error;
    if (!createWordsDatabase(temporaryPath, rows, &error, WordsRanking::With))
        return failWith(QStringLiteral("cannot make %1: %2").arg(temporaryPath, error));
    std::error_code renameError;
    std::filesystem::rename(temporaryPath.toStdString(), outputPath.toStdString(), renameError);
    if (renameError) {
        QFile::remove(temporaryPath);
        return failWith(QStringLiteral("cannot replace %1: %2")
                            .arg(outputPath, QString::fromStdString(renameError.message())));
    }
    std::printf("makewordsdb: %zu words in %s\n", rows.size(), qPrintable(outputPath));
    return 0;
}

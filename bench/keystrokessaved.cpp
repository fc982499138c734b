// Keystrokes saved: a typist completes the words of a text through the real engine, with the
// words offered in index order (the written behaviour), by commonness, and learning while typing,
// in one pass as a user lives.
#include "bench/typist.h"
#include "store/sqliteconnection.h"
#include "store/wordranking.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {
// The offscreen platform warns on every raise of a shown window.
QtMessageHandler previousHandler = nullptr;

void quietRaise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support raise()")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

// The quotations of fortune files: every line but the "%" that parts two of them.
QString readCorpus(const QStringList& paths, qsizetype limit) {
    QString text;
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return {};
        }
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (line.trimmed() != QLatin1String("%"))
                text += line + QLatin1Char('\n');
        }
    }
    return limit > 0 ? text.left(limit) : text;
}

enum class Mode {
    IndexOrder,
    Commonness,
    CommonnessBestFirst,
    Learning,
    LearningBestFirst,
    NewWordsOnlyBestFirst,
    NewWordsBestFirst
};

// A fresh copy of the shipped database for each run, since learning writes to it.
bool copyDatabase(const QString& from, const QString& to, Mode mode) {
    QFile::remove(to);
    if (!QFile::copy(from, to) || !QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner))
        return false;
    if (mode != Mode::IndexOrder)
        return true;
    // Without its ranking indexes the database is read as one without ranking data.
    SqliteConnection database(to);
    return database.open() && database.execute(QStringLiteral("DROP INDEX WordsByFoldedRank")) &&
           database.execute(QStringLiteral("DROP INDEX WordsUsedFolded"));
}

bool run(const QString& shipped, const QString& text, const QString& workDir, int letters, int words,
         Mode mode, bool numberKeys, TypingFigures* figures) {
    const QString path = workDir + QStringLiteral("/words.mdb");
    if (!copyDatabase(shipped, path, mode)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(shipped));
        return false;
    }
    SqliteConnection database(path);
    if (!database.open() || hasWordRanking(database) != (mode != Mode::IndexOrder)) {
        std::fprintf(stderr, "%s is not a words database with ranking data\n", qPrintable(shipped));
        return false;
    }
    TypistSettings settings;
    settings.minimumLetters = letters;
    settings.maxWords = words;
    settings.options.learnFromCompletions =
        mode == Mode::Learning || mode == Mode::LearningBestFirst || mode >= Mode::NewWordsOnlyBestFirst;
    settings.options.learnNewWords = mode >= Mode::NewWordsOnlyBestFirst;
    settings.countListWords = mode == Mode::NewWordsBestFirst;
    settings.options.mostLikelyFirst = mode == Mode::CommonnessBestFirst || mode == Mode::LearningBestFirst ||
                                       mode >= Mode::NewWordsOnlyBestFirst;
    settings.options.pickWithNumberKeys = numberKeys;
    Typist typist(database, settings);
    *figures = typist.type(text);
    return true;
}
} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    previousHandler = qInstallMessageHandler(quietRaise);

    bool shortRun = false;
    // The typist picks any of the first nine rows with its digit.
    bool numberKeys = false;
    QStringList corpus;
    for (const QString& argument : app.arguments().mid(1)) {
        if (argument == QLatin1String("--short"))
            shortRun = true;
        else if (argument == QLatin1String("--number-keys"))
            numberKeys = true;
        else
            corpus.append(argument);
    }
    if (corpus.isEmpty())
        corpus = QStringLiteral(QUENLO_BENCH_CORPUS).split(QLatin1Char(':'));
    const QString text = readCorpus(corpus, shortRun ? 1500 : 0);
    const QString shipped = QCoreApplication::applicationDirPath() + QStringLiteral("/words.mdb");
    QTemporaryDir dir;
    if (text.isEmpty() || !dir.isValid())
        return 1;

    std::printf("Keystrokes saved typing %lld characters of %s%s\n", qlonglong(text.size()),
                qPrintable(corpus.join(QStringLiteral(", "))),
                numberKeys ? ", rows picked with number keys" : "");
    std::printf("%-10s %-54s %8s %10s %10s %8s %8s\n", "settings", "words offered", "saved", "completed",
                "keys/compl", "ceiling", "learned");
    const struct {
        Mode mode;
        const char* name;
    } modes[] = {{Mode::IndexOrder, "index order (written behaviour)"},
                 {Mode::Commonness, "commonness ranking"},
                 {Mode::CommonnessBestFirst, "commonness ranking, most likely first"},
                 {Mode::Learning, "commonness + learning"},
                 {Mode::LearningBestFirst, "commonness + learning, most likely first"},
                 {Mode::NewWordsOnlyBestFirst, "+ new words learnt, most likely first"},
                 {Mode::NewWordsBestFirst, "+ new words and words typed in full, most likely first"}};
    bool faultless = true;
    for (const auto& [letters, words] : {std::pair{3, 15}, std::pair{2, 5}}) {
        double rates[std::size(modes)] = {};
        double ceiling = 0;
        double best = 0;
        for (std::size_t i = 0; i < std::size(modes); ++i) {
            const auto& [mode, name] = modes[i];
            TypingFigures figures;
            if (!run(shipped, text, dir.path(), letters, words, mode, numberKeys, &figures))
                return 1;
            std::printf("%d / %-6d %-54s %7.1f%% %9.1f%% %10.2f %7.1f%% %8lld\n", letters, words, name,
                        100 * figures.savingsRate(), 100 * figures.completedShare(),
                        figures.keysPerCompletion(), 100 * figures.ceilingRate(),
                        qlonglong(figures.learnedWords));
            std::fflush(stdout);
            faultless = faultless && figures.wrongInsertions == 0;
            rates[i] = figures.savingsRate();
            ceiling = figures.ceilingRate();
            best = std::max(best, rates[i]);
        }
        if (numberKeys && ceiling > 0) {
            std::printf("  number keys at %d letters / %d words: at best %.1f%% saved, %.1f%% of the ceiling "
                        "(target >= 85%%)\n",
                        letters, words, 100 * best, 100 * best / ceiling);
        }
        if (letters == 3 && rates[0] > 0) {
            std::printf(
                "  targets at 3 letters / 15 words: ranking saves %.2fx index order listed alphabetically, "
                "%.2fx listed most likely first (target >= 2x); learning in one pass with new words and "
                "words typed in full, most likely first, %.1f%% of the ceiling %.1f%% (target >= 60%%)\n",
                rates[1] / rates[0], rates[2] / rates[0], 100 * rates[6] / ceiling, 100 * ceiling);
        }
    }
    if (!faultless) {
        std::fprintf(stderr, "some completions did not insert the rest of the word\n");
        return 1;
    }
    return 0;
}

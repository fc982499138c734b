// Keystroke latency of the key handling against large generated word databases with ranking
// data: a character key that runs a lookup and fills the pop-up, and a key that runs none.
#include "bench/latency.h"
#include "engine/completionengine.h"
#include "store/sqliteconnection.h"
#include "tests/fakes/fakes.h"
#include "tests/fakes/testkeyboardhook.h"
#include "tools/wordsfile.h"
#include "ui/suggestionpopup.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <time.h>

namespace {
constexpr int Enter = 13, Left = 37;

// English letter frequencies, per mille, a to z.
constexpr int letterWeights[26] = {82, 15, 28, 43, 127, 22, 20, 61, 70, 2,  8, 40, 24,
                                   67, 75, 19, 1,  60,  63, 91, 28, 10, 24, 2, 20, 1};

std::vector<QString> randomWords(std::size_t count, std::mt19937& random) {
    std::discrete_distribution<int> letter(std::begin(letterWeights), std::end(letterWeights));
    std::binomial_distribution<int> extraLength(12, 0.4); // 3 to 15 letters, mostly 6 to 9
    std::vector<QString> words;
    words.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        QString word(3 + extraLength(random), Qt::Uninitialized);
        for (QChar& c : word)
            c = QChar('a' + letter(random));
        words.push_back(std::move(word));
    }
    return words;
}

struct Sample {
    double wall;
    double cpu;
};

double threadCpuMicros() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// The offscreen platform warns on every raise of a shown window; that printing is no part of
// what is measured.
QtMessageHandler previousHandler = nullptr;

void quietRaise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support raise()")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

bool runSize(std::size_t wordCount, int typedWords) {
    std::mt19937 random(20240601u + unsigned(wordCount));
    const std::vector<QString> words = randomWords(wordCount, random);
    std::vector<WordRow> rows;
    rows.reserve(words.size());
    std::uniform_int_distribution<int> kind(0, 19);
    // Commonness as in the shipped words: fewer common words than rare ones.
    std::discrete_distribution<int> commonness({30, 30, 40});
    for (const QString& word : words) {
        const int k = kind(random);
        rows.push_back({word,
                        k == 0   ? std::optional<QString>(QStringLiteral("1"))
                        : k == 1 ? std::optional<QString>(QString())
                                 : std::nullopt,
                        std::optional<int>(std::array{35, 50, 70}[commonness(random)])});
    }

    QTemporaryDir dir;
    QString error;
    const QString path = dir.filePath(QStringLiteral("words.mdb"));
    if (!dir.isValid() || !createWordsDatabase(path, rows, &error, WordsRanking::With)) {
        std::fprintf(stderr, "cannot create the words database: %s\n", qPrintable(error));
        return false;
    }
    rows.clear();
    SqliteConnection database(path);
    if (!database.open()) {
        std::fprintf(stderr, "cannot open the words database: %s\n", qPrintable(database.lastError()));
        return false;
    }
    // One word in a hundred has been completed before: those come first.
    database.execute(QStringLiteral("update Words set Uses = 1 + rowid % 7 where rowid % 100 = 0"));

    FakeClipboard clipboard;
    RecordingKeyInjector injector;
    TestKeyboardHook hook;
    CompletionEngine engine(database, clipboard, injector, hook);
    // Shown as the program shows it, so that a key's cost includes the pop-up's.
    const SuggestionPopup form2(engine.suggestions());
    engine.setCompletionKeyCode(9);
    // The bookkeeping of words typed in full runs on every key.
    RankingOptions options;
    options.learnNewWords = true;
    engine.setRankingOptions(options);
    std::string problem;
    hook.start([&engine](int keyCode, KeyDecision decide) { engine.keyPressed(keyCode, std::move(decide)); },
               problem);

    using Clock = std::chrono::steady_clock;
    // The time until the key is decided, on the clock and on this thread's processor time (which
    // leaves out the time other programs took the processor); the event loop then paints, as
    // between two keystrokes.
    const auto timed = [&hook](int keyCode) {
        const Clock::time_point start = Clock::now();
        const double startCpu = threadCpuMicros();
        hook.press(keyCode);
        const Sample sample{std::chrono::duration<double, std::micro>(Clock::now() - start).count(),
                            threadCpuMicros() - startCpu};
        QCoreApplication::processEvents();
        return sample;
    };

    // Warm up: the first show creates the pop-up's window and backing store.
    for (const char c : {'t', 'h', 'e'})
        hook.press(QChar(c).toUpper().unicode());
    hook.press(Enter);

    std::vector<Sample> lookupKeys;
    std::vector<Sample> plainKeys;
    std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
    for (int typed = 0; typed < typedWords; ++typed) {
        const QString& word = words[pick(random)];
        for (qsizetype i = 0; i < word.size(); ++i) {
            const Sample sample = timed(word[i].toUpper().unicode());
            (i + 1 >= 3 ? lookupKeys : plainKeys).push_back(sample);
            if (i == 1)
                plainKeys.push_back(timed(Left));
        }
        plainKeys.push_back(timed(Left));
        hook.press(Enter);
    }

    const auto report = [](const char* what, const std::vector<Sample>& samples, double unit,
                           const char* unitName, const char* target) {
        std::vector<double> wall, cpu;
        for (const Sample& sample : samples) {
            wall.push_back(sample.wall / unit);
            cpu.push_back(sample.cpu / unit);
        }
        std::printf("  %-22s p50 %7.3f %s  p99 %7.3f %s  (target p99 < %s)  processor time: p50 %7.3f  p99 "
                    "%7.3f  [%zu keys]\n",
                    what, latency::percentile(wall, 0.5), unitName, latency::percentile(wall, 0.99), unitName,
                    target, latency::percentile(cpu, 0.5), latency::percentile(cpu, 0.99), samples.size());
    };
    std::printf("%zu words, %d words typed\n", wordCount, typedWords);
    report("key running a lookup:", lookupKeys, 1000, "ms", "3 ms at 1,000,000 words");
    report("key running none:", plainKeys, 1, "us", "50 us");
    std::fflush(stdout);
    return true;
}
} // namespace

int main(int argc, char** argv) {
    bool shortRun = false;
    for (int i = 1; i < argc; ++i)
        shortRun = shortRun || QByteArray(argv[i]) == "--short";
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    previousHandler = qInstallMessageHandler(quietRaise);

    const std::vector<std::size_t> sizes =
        shortRun ? std::vector<std::size_t>{2000} : std::vector<std::size_t>{100000, 1000000};
    for (const std::size_t size : sizes) {
        if (!runSize(size, shortRun ? 30 : 1500))
            return 1;
    }
    return 0;
}

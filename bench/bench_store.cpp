// Speed of the word list with a shown view: import, save and fill of a large list, one yield per
// line, and an import between listed entries with the accessibility layer on and off; then the
// fill of a list of a million words, its time and the process's peak resident memory.
#include "store/sqliteconnection.h"
#include "store/wordlistfiles.h"
#include "store/wordlistmodel.h"
#include "store/wordlistview.h"
#include "tests/fakes/fakes.h"
#include "tools/wordsfile.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
constexpr double targetSeconds = 1.0;
constexpr double bigFillTargetSeconds = 5.0;
constexpr double bigFillTargetMegabytes = 150.0;

// Words of 3 to 10 letters, either case, in no order.
QStringList randomWords(int count) {
    QRandomGenerator random(4711);
    QStringList words;
    words.reserve(count);
    for (int i = 0; i < count; ++i) {
        QString word;
        const int length = 3 + int(random.bounded(8));
        for (int j = 0; j < length; ++j)
            word += QChar(char16_t((random.bounded(4) == 0 ? u'A' : u'a') + random.bounded(26)));
        words.append(word);
    }
    return words;
}

// A list view as the main window shows it, on screen while the work runs.
std::unique_ptr<QListView> shownView(WordListModel& model) {
    auto view = std::make_unique<QListView>();
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setModel(&model);
    view->setUniformItemSizes(true); // as the main window's list has it
    view->resize(400, 95);
    view->show();
    QApplication::processEvents();
    return view;
}

// A figure of /proc/self/status in megabytes (VmRSS, VmHWM), 0 where there is none (not Linux).
double statusMegabytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)) + 1).trimmed().split(' ').value(0).toDouble() /
                   1024;
    return 0;
}

// Lets the peak resident memory start again from what the process holds now.
void resetPeakResident() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// Runs work, lets the view catch up with it, and prints the time it took beside the target.
bool report(const char* what, int size, const std::function<bool()>& work, double target = targetSeconds) {
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    const bool done = work();
    QApplication::processEvents();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    // Processor time beside the wall-clock time: on a busy machine the two differ.
    std::printf("%-34s %7d  %7.3f s  (cpu %6.3f s)  target %.0f s%s\n", what, size, seconds, cpuSeconds,
                target, done ? (seconds < target ? "" : "  SLOW") : "  FAILED");
    return done;
}
} // namespace

int main(int argc, char** argv) {
    const bool isShort = argc > 1 && std::strcmp(argv[1], "--short") == 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The list sorts by the locale's collation; the C locale would measure a cheaper comparison.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const int size = isShort ? 1000 : 100000;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QStringList words = randomWords(size);
    bool ok = true;

    // The floor under every figure: the yields alone, with the same view shown.
    {
        WordListModel model;
        const auto view = shownView(model);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < size; ++i)
            QApplication::processEvents();
        std::printf("%-34s %7d  %7.3f s  (yields alone, no target)\n", "event-loop yields", size,
                    double(timer.nsecsElapsed()) / 1e9);
    }

    // Import of a word list, then save of the list it gave.
    {
        const QString listPath = dir.filePath(QStringLiteral("words.txt"));
        QFile listFile(listPath);
        if (!listFile.open(QIODevice::WriteOnly) ||
            listFile.write(words.join(QStringLiteral("\r\n")).toUtf8()) < 0)
            return 1;
        listFile.close();
        WordListModel model;
        const auto view = shownView(model);
        QCheckBox check2;
        QCheckBox check3;
        QLineEdit text7;
        QLineEdit text8(QStringLiteral("3"));
        FakeFileDialogs dialogs;
        FakeMessageBoxes messages;
        SqliteConnection noDatabase(dir.filePath(QStringLiteral("none.mdb")));
        // Set up as the program sets up List1.
        WordListView list(view.get(), model, &check2, &check3, &text7, noDatabase, messages, QString(),
                          dir.filePath(QStringLiteral("none.mdb")));
        WordListFiles files(model, &text8, dialogs, messages, nullptr);
        ok &= report("import of a word list (lines)", size, [&] {
            return files.GetImportFile(listPath, true) && model.count() == size && model.rowCount() == size;
        });
        files.setCurrentFileName(dir.filePath(QStringLiteral("saved.txt")));
        ok &= report("save of the list (entries)", size, [&] { return files.ExportFile(); });
    }

    // Import between entries already listed, with and without the accessibility layer: each
    // change told to a view is told to assistive technology too, which costs per notification.
    for (const bool accessible : {false, true}) {
        const int half = size / 5;
        const QString listPath = dir.filePath(QStringLiteral("between.txt"));
        QFile listFile(listPath);
        if (!listFile.open(QIODevice::WriteOnly) ||
            listFile.write(words.mid(half, half).join(QStringLiteral("\r\n")).toUtf8()) < 0)
            return 1;
        listFile.close();
        WordListModel model;
        for (const QString& word : words.mid(0, half))
            model.addWord(word);
        model.publish();
        const auto view = shownView(model);
        QAccessible::setActive(accessible);
        if (accessible) {
            // As a screen reader would, the list's entries are looked at before the import
            // starts; every change told afterwards is weighed against what was looked at.
            QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view.get());
            if (!list || list->childCount() < half)
                return 1;
            for (int i = 0; i < list->childCount(); ++i)
                list->child(i);
        }
        QLineEdit text8(QStringLiteral("3"));
        FakeFileDialogs dialogs;
        FakeMessageBoxes messages;
        WordListFiles files(model, &text8, dialogs, messages, nullptr);
        const QByteArray what = QByteArray("import between entries, a11y ") + (accessible ? "on" : "off");
        ok &= report(what.constData(), half,
                     [&] { return files.GetImportFile(listPath, true) && model.rowCount() == 2 * half; });
        QAccessible::setActive(false);
    }

    // Fill from a database holding default and custom words, both Show boxes ticked: at the size
    // of the others, then at a million words with the peak resident memory of the fill alone.
    const int bigSize = isShort ? 2000 : 1000000;
    for (const int fillSize : {size, bigSize}) {
        const bool big = fillSize == bigSize;
        const QString databasePath = dir.filePath(QStringLiteral("words%1.mdb").arg(fillSize));
        {
            const QStringList fillWords = big ? randomWords(fillSize) : words;
            std::vector<WordRow> rows;
            rows.reserve(std::size_t(fillSize));
            for (int i = 0; i < fillSize; ++i)
                rows.push_back(
                    {fillWords[i], i % 5 == 0 ? std::optional<QString>(QStringLiteral("1")) : std::nullopt});
            QString error;
            if (!createWordsDatabase(databasePath, rows, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        }
        SqliteConnection connection(databasePath);
        if (!connection.open())
            return 1;
        WordListModel model;
        const auto view = shownView(model);
        QCheckBox check2;
        QCheckBox check3;
        check2.setChecked(true);
        check3.setChecked(true);
        QLineEdit text7;
        FakeMessageBoxes messages;
        WordListView list(view.get(), model, &check2, &check3, &text7, connection, messages,
                          QStringLiteral("site"), databasePath);
        resetPeakResident();
        const double before = statusMegabytes("VmRSS:");
        ok &= report(
            big ? "fill of a large list (rows)" : "fill from the database (rows)", fillSize,
            [&] {
                list.FillData();
                return model.count() == fillSize && messages.shown.isEmpty();
            },
            big ? bigFillTargetSeconds : targetSeconds);
        const double peak = statusMegabytes("VmHWM:");
        if (peak > 0)
            std::printf("%-34s %7d  %7.1f MB (%.1f MB before the fill)  target %.0f MB%s\n",
                        "  peak resident memory", fillSize, peak, before, bigFillTargetMegabytes,
                        !big || peak < bigFillTargetMegabytes ? "" : "  LARGE");
    }
    return ok ? 0 : 1;
}

// The real quenlo on a private X display, as the Linux latency benchmarks run it.
#pragma once

#include "bench/latency.h"
#include "tools/wordsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace latency {

[[noreturn]] inline void fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), message.c_str());
    std::exit(1);
}

// Letters before the "ing" of every word of a database of wordCount words: four up to 26^4 words,
// five beyond, so that no word comes twice.
inline int wordLetters(int wordCount) {
    return wordCount <= 26 * 26 * 26 * 26 ? 4 : 5;
}

// The three-letter prefixes of such a database: each offers a full list.
inline int fullPrefixes(int wordCount) {
    return wordLetters(wordCount) == 4 ? wordCount / 26 : wordCount / (26 * 26);
}

// A copy of quenlo in the folder, beside a words.mdb of wordCount words in which every prefix
// numberedLetters(n, 3) with n below fullPrefixes(wordCount) offers a full list. Returns the program.
inline QString placeQuenlo(const QTemporaryDir& folder, int wordCount) {
    if (!folder.isValid())
        fail("cannot make a temporary folder");
    const QString program = folder.filePath(QStringLiteral("quenlo"));
    if (!QFile::copy(QStringLiteral(QUENLO_PROGRAM_PATH), program))
        fail("cannot copy " QUENLO_PROGRAM_PATH);
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    std::vector<WordRow> rows;
    rows.reserve(static_cast<std::size_t>(wordCount));
    for (int i = 0; i < wordCount; ++i)
        rows.push_back(
            {QString::fromStdString(numberedLetters(i, wordLetters(wordCount)) + "ing"), std::nullopt});
    QString error;
    // Made as the shipped words are, so that no start spends its time upgrading the file.
    if (!createWordsDatabase(folder.filePath(QStringLiteral("words.mdb")), rows, &error, WordsRanking::With))
        fail("cannot make words.mdb: " + error.toStdString());
    return program;
}

// A home, settings and runtime folder of its own inside the folder, on the given X display.
inline QProcessEnvironment privateDesktopEnvironment(const QTemporaryDir& folder, const QString& display) {
    QDir(folder.path()).mkpath(QStringLiteral("config/Quenlo"));
    QDir(folder.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(folder.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "QT_IM_MODULE", "GTK_IM_MODULE", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("HOME"), folder.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.filePath(QStringLiteral("runtime")));
    return environment;
}

// Tells the pop-up's window by its title, and remembers it once seen.
class PopupWindow {
public:
    bool is(Display* display, Window window) {
        if (m_window != None)
            return window == m_window;
        char* name = nullptr;
        const bool named = XFetchName(display, window, &name) && name && std::string(name) == "Form2";
        if (name)
            XFree(name);
        if (named)
            m_window = window;
        return named;
    }
    Window window() const { return m_window; }

private:
    Window m_window = None;
};

inline void printLatency(const char* what, const std::vector<double>& samples, double targetP99Ms = 0) {
    std::printf("  %-33s p50 %6.2f ms   p99 %6.2f ms", what, percentile(samples, 0.5), percentile(samples, 0.99));
    if (targetP99Ms > 0)
        std::printf("   (target p99 < %.0f ms)", targetP99Ms);
    std::printf("\n");
}

} // namespace latency

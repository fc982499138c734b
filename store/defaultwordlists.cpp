// Reading a word list strictly, and adding or removing its words in one transaction.
#include "defaultwordlists.h"

#include "store/dbconnection.h"
#include "store/linereader.h"
#include "store/textencoding.h"
#include "store/wordlistfiles.h"
#include "store/wordstatements.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <vector>

namespace {
// Work between two yields: the window stays alive, and a large list pays little for it.
constexpr qint64 yieldIntervalMs = 20;

// The words of one list, read strictly: a list is taken whole or not at all.
class ListReader {
public:
    explicit ListReader(const WordListSource& list)
        : m_list(list)
        , m_file(list.path) {}

    // Opens the file and finds its encoding; false with problem() set.
    bool open() {
        const QFileInfo info(m_list.path);
        // Opening a pipe waits for a writer, and a device may never end.
        if (info.exists() && !info.isFile())
            return fail(QStringLiteral("it is not a regular file"));
        if (!m_file.open(QIODevice::ReadOnly))
            return fail(m_file.errorString());
        QString error;
        const std::optional<TextEncoding> encoding = detectEncoding(m_file, &error);
        if (!encoding)
            return fail(error);
        m_eightBit = *encoding == TextEncoding::EightBit;
        m_reader = std::make_unique<LineReader>(m_file, *encoding);
        if (m_list.olderCodePage)
            m_reader->setEightBitCodePage(*m_list.olderCodePage);
        return true;
    }

    // The next word; false at the end of the list, or with problem() set.
    bool next(QString& word) {
        QString line;
        while (m_reader->readLine(line)) {
            const QStringView trimmed = trimSpaces(line);
            if (trimmed.isEmpty())
                continue;
            for (const QChar c : trimmed) {
                // Bytes the page does not assign, or its control range, mean the file is in another page.
                if (m_eightBit &&
                    (c == QChar::ReplacementCharacter || (c.unicode() >= 0x80 && c.unicode() < 0xA0)))
                    return fail(QStringLiteral("line %1 is in an encoding Quenlo does not know here, neither "
                                               "UTF-8 nor %2")
                                    .arg(m_reader->lineNumber())
                                    .arg(m_list.olderCodePage ? m_list.olderCodePage->name
                                                              : encodingName(TextEncoding::EightBit)));
                if (c.category() == QChar::Other_Control)
                    return fail(QStringLiteral("line %1 holds control characters, which no word has")
                                    .arg(m_reader->lineNumber()));
            }
            word = trimmed.toString();
            return true;
        }
        if (m_reader->failed())
            return fail(m_reader->errorString());
        return false;
    }

    int percent() const {
        const qint64 size = m_file.size();
        return size > 0 ? int(std::min<qint64>(m_file.pos() * 100 / size, 100)) : 100;
    }
    QString problem() const { return m_problem; }
    const QList<qint64>& tooLongLines() const { return m_reader->tooLongLines(); }
    qsizetype maxLineBytes() const { return m_reader->maxLineBytes(); }

private:
    bool fail(const QString& problem) {
        m_problem = problem;
        return false;
    }

    const WordListSource& m_list;
    QFile m_file;
    bool m_eightBit = false;
    std::unique_ptr<LineReader> m_reader;
    QString m_problem;
};

// Lets pending events run every few milliseconds, saying how far the work is.
class Yielder {
public:
    Yielder(DbConnection& words, const WordListProgress& progress)
        : m_words(words)
        , m_progress(progress) {
        m_sinceYield.start();
    }
    // False when the connection was closed meanwhile: the program is ending.
    bool operator()(int percent) {
        if (m_sinceYield.elapsed() < yieldIntervalMs)
            return true;
        if (m_progress)
            m_progress(percent);
        QCoreApplication::processEvents();
        m_sinceYield.restart();
        return m_words.state() != 0;
    }

private:
    DbConnection& m_words;
    const WordListProgress& m_progress;
    QElapsedTimer m_sinceYield;
};

QString shownName(const WordListSource& list) {
    return QDir::toNativeSeparators(list.path);
}

std::optional<QString> openProblem(DbConnection& words) {
    if (words.state() != 0 || words.open())
        return std::nullopt;
    return QStringLiteral("The word database could not be opened: %1").arg(words.lastError());
}

// Runs the edits in one transaction; each edit returns false, with the engine's text in error, to
// undo them all. Nothing when the edits ran and were committed, or the connection was closed.
std::optional<QString> inTransaction(DbConnection& words, const std::function<bool(QString& error)>& edits) {
    // Immediate: a database another program is writing fails here, before anything changed.
    if (!words.execute(QStringLiteral("BEGIN IMMEDIATE")))
        return words.lastError();
    QString error;
    if (edits(error)) {
        if (words.state() == 0)
            return std::nullopt; // closing the connection undid the transaction
        if (words.execute(QStringLiteral("COMMIT")))
            return std::nullopt;
        error = words.lastError();
    }
    words.execute(QStringLiteral("ROLLBACK"));
    return error;
}
} // namespace

WordListChange addWordList(DbConnection& words, const WordListSource& list,
                           const WordListProgress& progress) {
    const auto notAdded = [&list](const QString& reason) {
        return WordListChange{false, cannotReadMessage(shownName(list), reason) +
                                         QStringLiteral("\nNo word of it was added.")};
    };
    if (const std::optional<QString> problem = openProblem(words))
        return {false, *problem};
    Yielder yield(words, progress);
    // Read whole first: a list found bad halfway never holds the database's lock.
    ListReader check(list);
    if (!check.open())
        return notAdded(check.problem());
    QString word;
    while (check.next(word)) {
        if (!yield(check.percent() * 3 / 10))
            return {};
    }
    if (!check.problem().isEmpty())
        return notAdded(check.problem());

    QString readProblem;
    bool closed = false;
    const std::optional<QString> failure = inTransaction(words, [&](QString& error) {
        ListReader reader(list);
        bool read = reader.open();
        const WordSchema schema = wordSchema(words).value_or(WordSchema::Plain);
        while (read && reader.next(word)) {
            if (!insertDefaultWord(words, word, schema)) {
                error = words.lastError();
                return false;
            }
            if (!yield(30 + reader.percent() * 7 / 10)) {
                closed = true;
                return true;
            }
        }
        // The file changed since it was checked.
        readProblem = reader.problem();
        return readProblem.isEmpty();
    });
    if (closed)
        return {};
    if (!readProblem.isEmpty())
        return notAdded(readProblem);
    if (failure)
        return {false, QStringLiteral("The words of the word list \"%1\" could not be added to the word "
                                      "database, which is unchanged: %2")
                           .arg(shownName(list), *failure)};
    if (check.tooLongLines().isEmpty())
        return {true, {}};
    return {true, tooLongLinesMessage(shownName(list), check.tooLongLines(), check.maxLineBytes())};
}

WordListChange removeWordList(DbConnection& words, const WordListSource& list,
                              const QList<WordListSource>& kept, const WordListProgress& progress) {
    const auto notRemoved = [&list](const WordListSource& read, const QString& reason) {
        return WordListChange{
            false, cannotReadMessage(shownName(read), reason) +
                       QStringLiteral("\nNo word of the word list \"%1\" was removed.").arg(shownName(list))};
    };
    if (const std::optional<QString> problem = openProblem(words))
        return {false, *problem};
    Yielder yield(words, progress);
    // The list's words by hash, and whether a kept list holds them: a few bytes a word, however
    // large the lists. Two words of one hash are both kept, never both removed.
    std::vector<std::size_t> hashes;
    ListReader reader(list);
    if (!reader.open())
        return notRemoved(list, reader.problem());
    QString word;
    while (reader.next(word)) {
        hashes.push_back(qHash(word));
        if (!yield(reader.percent() / 5))
            return {};
    }
    if (!reader.problem().isEmpty())
        return notRemoved(list, reader.problem());
    std::sort(hashes.begin(), hashes.end());
    hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
    std::vector<bool> held(hashes.size());
    const auto position = [&hashes](const QString& text) {
        const std::size_t hash = qHash(text);
        const auto found = std::lower_bound(hashes.begin(), hashes.end(), hash);
        return found != hashes.end() && *found == hash ? std::optional(found - hashes.begin()) : std::nullopt;
    };
    for (qsizetype i = 0; i < kept.size(); ++i) {
        ListReader other(kept[i]);
        if (!other.open())
            return notRemoved(kept[i], other.problem());
        while (other.next(word)) {
            if (const auto at = position(word))
                held[*at] = true;
            if (!yield(20 + int((i * 100 + other.percent()) * 40 / (kept.size() * 100))))
                return {};
        }
        if (!other.problem().isEmpty())
            return notRemoved(kept[i], other.problem());
    }

    QString readProblem;
    bool closed = false;
    const std::optional<QString> failure = inTransaction(words, [&](QString& error) {
        ListReader again(list);
        bool read = again.open();
        while (read && again.next(word)) {
            const auto at = position(word);
            if (at && !held[*at] && !removeListWord(words, word)) {
                error = words.lastError();
                return false;
            }
            if (!yield(60 + again.percent() * 2 / 5)) {
                closed = true;
                return true;
            }
        }
        readProblem = again.problem();
        return readProblem.isEmpty();
    });
    if (closed)
        return {};
    if (!readProblem.isEmpty())
        return notRemoved(list, readProblem);
    if (failure)
        return {false, QStringLiteral("The words of the word list \"%1\" could not be removed from the word "
                                      "database, which is unchanged: %2")
                           .arg(shownName(list), *failure)};
    return {true, {}};
}

// The completion engine over a words database of its own, with the settings' design values and
// the fakes, and the statements that reach the database recorded.
#pragma once

#include "engine/completionengine.h"
#include "store/sqliteconnection.h"
#include "tests/fakes/fakes.h"
#include "tests/fakes/testkeyboardhook.h"
#include "tools/wordsfile.h"

#include <QTemporaryDir>
#include <functional>

constexpr int Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Esc = 27, Space = 32, Up = 38, Down = 40;
using Keys = QList<int>;

// Passes everything on to the real database and keeps what was asked of it.
class RecordingConnection final : public DbConnection {
public:
    explicit RecordingConnection(DbConnection& inner)
        : m_inner(inner) {}
    bool open() override { return m_inner.open(); }
    int state() const override { return m_inner.state(); }
    void close() override { m_inner.close(); }
    std::unique_ptr<DbResult> execute(const QString& statement) override {
        // Asking once whether the database carries ranking data is no lookup.
        if (!statement.contains("sqlite_master"))
            statements.append(statement);
        return m_inner.execute(statement);
    }
    std::unique_ptr<DbResult> executeBound(const QString& statement, const QStringList& parameters) override {
        statements.append(statement);
        bound.append(statement);
        return m_inner.executeBound(statement, parameters);
    }
    QString lastError() const override { return m_inner.lastError(); }
    QStringList statements; // in order, the bound ones among them
    QStringList bound;

private:
    DbConnection& m_inner;
};

struct EngineRig {
    explicit EngineRig(const std::vector<WordRow>& rows, WordsRanking ranking = WordsRanking::Without) {
        QString error;
        if (!dir.isValid() || !createWordsDatabase(path(), rows, &error, ranking))
            qFatal("cannot create the words database: %s", qPrintable(error));
        sqlite.open();
        engine.setCompletionKeyCode(Tab);
        std::string problem;
        hook.start([this](int key, KeyDecision decide) { engine.keyPressed(key, std::move(decide)); },
                   problem);
    }
    QString path() const { return dir.filePath("words.mdb"); }
    // Presses the keys; returns each one's decision, '?' where it was not made at once.
    QString press(const Keys& keys) {
        QString decisions;
        for (const int key : keys) {
            const std::optional<std::int16_t> discard = hook.press(key);
            decisions += discard ? QString::number(*discard) : "?";
        }
        return decisions;
    }
    // Presses the letter keys of a word.
    QString press(const QString& letters) {
        Keys keys;
        for (const QChar c : letters)
            keys.append(c.toUpper().unicode());
        return press(keys);
    }
    // Changes settings as the main window pushes them.
    void set(const std::function<void(EngineSettings&)>& change) {
        EngineSettings settings = engine.settings();
        change(settings);
        engine.setSettings(settings);
    }
    SuggestionList& form2() { return engine.suggestions(); }
    const QString& Text5() const { return engine.typing().Text5; }

    QTemporaryDir dir;
    SqliteConnection sqlite{dir.filePath("words.mdb")};
    RecordingConnection words{sqlite};
    FakeClipboard clipboard;
    RecordingKeyInjector injector;
    TestKeyboardHook hook;
    CompletionEngine engine{words, clipboard, injector, hook};
};

// SQLite 3 behind the DbConnection interface.
#include "sqliteconnection.h"

#include "store/wordranking.h"

#include <QRegularExpression>
#include <sqlite3.h>
#include <unordered_map>

namespace {
// How long an edit waits for another program's lock. A read never waits: the suggestion lookup runs
// on every key, and a locked database must cost it nothing but its rows.
constexpr int editBusyTimeoutMs = 1000;

QString errorText(sqlite3* database) {
    return database ? QString::fromUtf8(sqlite3_errmsg(database))
                    : QStringLiteral("the database is not open");
}

// folded_word(text): foldedWord() for SQL, which fills the folded key of rows written without it.
void foldedWordFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    const QByteArray folded = foldedWord(QString::fromUtf8(text, sqlite3_value_bytes(arguments[0]))).toUtf8();
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

} // namespace

// Prepared statements of executeBound that no result is reading, by their text.
struct SqliteStatementCache {
    sqlite3* database;
    std::unordered_map<QString, sqlite3_stmt*> idle;
};

namespace {
// The rows of one select; owns its statement, so nothing run meanwhile disturbs it. A kept
// statement goes back to its connection's cache when read, unless the connection closed.
class SqliteResult final : public DbResult {
public:
    SqliteResult(sqlite3_stmt* statement, bool atRow, std::weak_ptr<SqliteStatementCache> cache = {},
                 QString cacheKey = {})
        : m_statement(statement)
        , m_atRow(atRow)
        , m_cache(std::move(cache))
        , m_cacheKey(std::move(cacheKey)) {}
    ~SqliteResult() override {
        const std::shared_ptr<SqliteStatementCache> cache = m_cache.lock();
        if (cache && !m_cacheKey.isNull() && !cache->idle.contains(m_cacheKey)) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
            cache->idle.emplace(m_cacheKey, m_statement);
        } else {
            sqlite3_finalize(m_statement);
        }
    }

    bool eof() const override { return !m_atRow; }

    std::optional<QString> text1() const override {
        if (!m_atRow || sqlite3_column_type(m_statement, 0) == SQLITE_NULL)
            return std::nullopt;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, 0));
        return QString::fromUtf8(text, sqlite3_column_bytes(m_statement, 0));
    }

    bool moveNext(QString* error) override {
        if (!m_atRow)
            return true;
        const int rc = sqlite3_step(m_statement);
        m_atRow = rc == SQLITE_ROW;
        if (rc == SQLITE_ROW || rc == SQLITE_DONE)
            return true;
        if (error)
            *error = errorText(sqlite3_db_handle(m_statement));
        return false;
    }

private:
    sqlite3_stmt* m_statement;
    bool m_atRow;
    std::weak_ptr<SqliteStatementCache> m_cache;
    QString m_cacheKey;
};

// What a statement that returns no rows gives back.
class NoRowsResult final : public DbResult {
public:
    bool eof() const override { return true; }
    std::optional<QString> text1() const override { return std::nullopt; }
    bool moveNext(QString*) override { return true; }
};
} // namespace

SqliteConnection::SqliteConnection(QString databasePath)
    : m_path(std::move(databasePath)) {}

SqliteConnection::~SqliteConnection() {
    close();
}

bool SqliteConnection::open() {
    if (m_database)
        return true;
    sqlite3* database = nullptr;
    const int rc = sqlite3_open_v2(m_path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        m_lastError = database ? errorText(database) : QString::fromUtf8(sqlite3_errstr(rc));
        if (rc == SQLITE_CANTOPEN)
            m_lastError = QStringLiteral("Could not find file '%1'.").arg(m_path);
        sqlite3_close_v2(database);
        return false;
    }
    // A shared word list can carry views and triggers: they may not write the schema behind SQLite's
    // back, nor call functions with side effects. Nor can a schema name folded_word (direct only):
    // a file that did could not be read without this program.
    if (sqlite3_db_config(database, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
        sqlite3_db_config(database, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK ||
        sqlite3_create_function_v2(database, "folded_word", 1,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                                   foldedWordFunction, nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_lastError = errorText(database);
        sqlite3_close_v2(database);
        return false;
    }
    m_database = database;
    m_cache = std::make_shared<SqliteStatementCache>(SqliteStatementCache{database, {}});
    return true;
}

int SqliteConnection::state() const {
    return m_database ? 1 : 0;
}

void SqliteConnection::close() {
    if (m_cache) {
        for (const auto& [text, statement] : m_cache->idle)
            sqlite3_finalize(statement);
        m_cache.reset();
    }
    // close_v2 waits for the results still being read before it lets the file go.
    sqlite3_close_v2(m_database);
    m_database = nullptr;
}

std::unique_ptr<DbResult> SqliteConnection::execute(const QString& statement) {
    if (!m_database) {
        m_lastError = QStringLiteral("Operation is not allowed when the object is closed.");
        return nullptr;
    }
    const QByteArray sql = toSqlite(statement).toUtf8();
    // Preparing may read the schema, which takes the lock too: a select must not wait there either.
    const bool read = sql.trimmed().toLower().startsWith("select");
    sqlite3_busy_timeout(m_database, read ? 0 : editBusyTimeoutMs);
    sqlite3_stmt* prepared = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_database, sql.constData(), int(sql.size()), &prepared, &tail) != SQLITE_OK) {
        m_lastError = errorText(m_database);
        return nullptr;
    }
    if (!prepared) {
        m_lastError = QStringLiteral("The statement is empty.");
        return nullptr;
    }
    if (!QByteArray(tail).trimmed().isEmpty()) {
        sqlite3_finalize(prepared);
        m_lastError = QStringLiteral("Only one statement may be run at a time.");
        return nullptr;
    }
    if (read != bool(sqlite3_stmt_readonly(prepared)))
        sqlite3_busy_timeout(m_database, read ? editBusyTimeoutMs : 0);
    return firstRow(prepared, nullptr, QString());
}

std::unique_ptr<DbResult> SqliteConnection::executeBound(const QString& statement,
                                                         const QStringList& parameters) {
    if (!m_database) {
        m_lastError = QStringLiteral("Operation is not allowed when the object is closed.");
        return nullptr;
    }
    // Bound statements serve the keys: neither preparing (which may read the schema and so take the
    // lock) nor the first step may wait for a lock held elsewhere; they fail at once instead.
    sqlite3_busy_timeout(m_database, 0);
    sqlite3_stmt* prepared = nullptr;
    if (const auto kept = m_cache->idle.find(statement); kept != m_cache->idle.end()) {
        prepared = kept->second;
        m_cache->idle.erase(kept);
    } else {
        const QByteArray sql = statement.toUtf8();
        const char* tail = nullptr;
        if (sqlite3_prepare_v3(m_database, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                               &prepared, &tail) != SQLITE_OK) {
            m_lastError = errorText(m_database);
            return nullptr;
        }
        if (!prepared || !QByteArray(tail).trimmed().isEmpty()) {
            sqlite3_finalize(prepared);
            m_lastError = QStringLiteral("Only one statement may be run at a time.");
            return nullptr;
        }
    }
    for (int i = 0; i < parameters.size(); ++i) {
        const QByteArray text = parameters[i].toUtf8();
        sqlite3_bind_text(prepared, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    return firstRow(prepared, m_cache, statement);
}

std::unique_ptr<DbResult> SqliteConnection::firstRow(sqlite3_stmt* prepared,
                                                     std::shared_ptr<SqliteStatementCache> cache,
                                                     const QString& cacheKey) {
    const int rc = sqlite3_step(prepared);
    std::unique_ptr<SqliteResult> result =
        std::make_unique<SqliteResult>(prepared, rc == SQLITE_ROW, cache, cacheKey);
    if (rc == SQLITE_ROW)
        return result;
    if (rc != SQLITE_DONE) {
        m_lastError = errorText(m_database);
        return nullptr;
    }
    return std::make_unique<NoRowsResult>();
}

QString SqliteConnection::lastError() const {
    return m_lastError;
}

QString SqliteConnection::toSqlite(const QString& statement) {
    static const QRegularExpression selectTop(QStringLiteral("^\\s*select\\s+top\\s+(\\d+)\\s+(.*)$"),
                                              QRegularExpression::CaseInsensitiveOption |
                                                  QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = selectTop.match(statement);
    if (!match.hasMatch())
        return statement;
    return QStringLiteral("select ") + match.captured(2) + QStringLiteral(" limit ") + match.captured(1);
}

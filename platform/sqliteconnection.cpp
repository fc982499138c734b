// SQLite 3 behind the DbConnection interface.
#include "sqliteconnection.h"

#include <QRegularExpression>
#include <sqlite3.h>

namespace {
// How long an edit waits for another program's lock. A read never waits: the suggestion lookup runs
// on every key, and a locked database must cost it nothing but its rows.
constexpr int editBusyTimeoutMs = 1000;

QString errorText(sqlite3* database) {
    return database ? QString::fromUtf8(sqlite3_errmsg(database))
                    : QStringLiteral("the database is not open");
}

// The rows of one select; owns its statement, so nothing run meanwhile disturbs it.
class SqliteResult final : public DbResult {
public:
    SqliteResult(sqlite3_stmt* statement, bool atRow)
        : m_statement(statement)
        , m_atRow(atRow) {}
    ~SqliteResult() override { sqlite3_finalize(m_statement); }

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
    m_database = database;
    return true;
}

int SqliteConnection::state() const {
    return m_database ? 1 : 0;
}

void SqliteConnection::close() {
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
    const int rc = sqlite3_step(prepared);
    if (rc == SQLITE_ROW)
        return std::make_unique<SqliteResult>(prepared, true);
    if (rc != SQLITE_DONE) {
        m_lastError = errorText(m_database);
        sqlite3_finalize(prepared);
        return nullptr;
    }
    sqlite3_finalize(prepared);
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

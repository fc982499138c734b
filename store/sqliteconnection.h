// The word database on SQLite 3.
#pragma once

#include "store/dbconnection.h"

struct sqlite3;
struct sqlite3_stmt;
struct SqliteStatementCache;

class SqliteConnection final : public DbConnection {
public:
    // Works on the database file at databasePath; opening never creates it.
    explicit SqliteConnection(QString databasePath);
    ~SqliteConnection() override;

    bool open() override;
    int state() const override;
    void close() override;
    std::unique_ptr<DbResult> execute(const QString& statement) override;
    std::unique_ptr<DbResult> executeBound(const QString& statement, const QStringList& parameters) override;
    QString lastError() const override;

    // The statement as SQLite takes it: "select top N rest" becomes "select rest limit N";
    // every other text is left as it is.
    static QString toSqlite(const QString& statement);

private:
    std::unique_ptr<DbResult> firstRow(sqlite3_stmt* prepared, std::shared_ptr<SqliteStatementCache> cache,
                                       const QString& cacheKey);

    QString m_path;
    sqlite3* m_database = nullptr;
    QString m_lastError;
    // The statements of executeBound not being read, kept while the connection is open.
    std::shared_ptr<SqliteStatementCache> m_cache;
};

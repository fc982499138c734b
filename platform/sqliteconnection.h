// The word database on SQLite 3.
#pragma once

#include "platform/dbconnection.h"

struct sqlite3;

class SqliteConnection final : public DbConnection {
public:
    // Works on the database file at databasePath; opening never creates it.
    explicit SqliteConnection(QString databasePath);
    ~SqliteConnection() override;

    bool open() override;
    int state() const override;
    void close() override;
    std::unique_ptr<DbResult> execute(const QString& statement) override;
    QString lastError() const override;

    // The statement as SQLite takes it: "select top N rest" becomes "select rest limit N";
    // every other text is left as it is.
    static QString toSqlite(const QString& statement);

private:
    QString m_path;
    sqlite3* m_database = nullptr;
    QString m_lastError;
};

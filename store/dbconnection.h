// The word database engine: one connection, and a forward-only result per select.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// The rows of one select, read forward only. Each result is its own: statements run on the
// same connection while it is being read never move, replace or close it.
class DbResult {
public:
    DbResult() = default;
    DbResult(const DbResult&) = delete;
    DbResult& operator=(const DbResult&) = delete;
    virtual ~DbResult() = default;

    // True when there is no current row: at once for an empty result, or past the last row.
    virtual bool eof() const = 0;
    // The current row's Text1: its text, or nothing for NULL. Only while not eof().
    virtual std::optional<QString> text1() const = 0;
    // Advances to the next row. False, with the engine's description in error, when reading
    // failed; the result is then at its end.
    virtual bool moveNext(QString* error = nullptr) = 0;
};

class DbConnection {
public:
    DbConnection() = default;
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;
    virtual ~DbConnection() = default;

    // Opens the database (again, after a close). False, with the description in lastError().
    virtual bool open() = 0;
    // 0 when closed, 1 when open.
    virtual int state() const = 0;
    // Closes the connection; results still being read stay readable until they are destroyed.
    virtual void close() = 0;
    // Runs one statement. A select returns its own result positioned at the first row; any
    // other statement is done and visible to later statements when this returns, and returns
    // an empty result. Nothing on failure, with the description in lastError().
    virtual std::unique_ptr<DbResult> execute(const QString& statement) = 0;
    // Runs one statement with its parameters ?1, ?2, ... bound to the texts, like execute(),
    // but never waits for another program's lock: a locked database fails at once. The
    // statement is prepared once per text and kept for the next run.
    virtual std::unique_ptr<DbResult> executeBound(const QString& statement,
                                                   const QStringList& parameters) = 0;
    // The description of the last failure.
    virtual QString lastError() const = 0;
};

// Writes text as an SQL string literal: in single quotes, each inner quote written twice.
QString sqlLiteral(const QString& text);

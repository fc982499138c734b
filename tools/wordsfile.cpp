// Builds words database files with the schema the program expects.
#include "wordsfile.h"

#include "store/wordranking.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

const char* const wordsSchemaSql = "CREATE TABLE Words (Text1 TEXT COLLATE NOCASE, Type1 TEXT);"
                                   "CREATE INDEX WordsByText1 ON Words (Text1);";

namespace {
bool fail(sqlite3* database, QString* error) {
    if (error)
        *error = QString::fromUtf8(sqlite3_errmsg(database));
    return false;
}

bool insertRows(sqlite3* database, const std::vector<WordRow>& rows, QString* error, WordsRanking ranking) {
    if (sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(database, error);
    sqlite3_stmt* insert = nullptr;
    const char* insertSql =
        ranking == WordsRanking::With       ? "INSERT INTO Words (Text1, Type1, Commonness, Folded) "
                                              "VALUES (?, ?, ?, ?)"
        : ranking == WordsRanking::Unfolded ? "INSERT INTO Words (Text1, Type1, Commonness) VALUES (?, ?, ?)"
                                            : "INSERT INTO Words (Text1, Type1) VALUES (?, ?)";
    if (sqlite3_prepare_v2(database, insertSql, -1, &insert, nullptr) != SQLITE_OK)
        return fail(database, error);
    for (const WordRow& row : rows) {
        const QByteArray text = row.text.toUtf8();
        const QByteArray type = row.type ? row.type->toUtf8() : QByteArray();
        sqlite3_bind_text(insert, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        if (row.type)
            sqlite3_bind_text(insert, 2, type.constData(), int(type.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(insert, 2);
        if (ranking != WordsRanking::Without) {
            if (row.commonness)
                sqlite3_bind_int(insert, 3, *row.commonness);
            else
                sqlite3_bind_null(insert, 3);
        }
        if (ranking == WordsRanking::With) {
            const QByteArray folded = foldedWord(row.text).toUtf8();
            sqlite3_bind_text(insert, 4, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_finalize(insert);
            return fail(database, error);
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(database, error);
    return true;
}
} // namespace

bool createWordsDatabase(const QString& path, const std::vector<WordRow>& rows, QString* error,
                         WordsRanking ranking) {
    if (QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("%1 exists already").arg(path);
        return false;
    }
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        fail(database, error);
        sqlite3_close(database);
        return false;
    }
    const bool schemaMade =
        sqlite3_exec(database, wordsSchemaSql, nullptr, nullptr, nullptr) == SQLITE_OK &&
        (ranking == WordsRanking::Without ||
         sqlite3_exec(database, ranking == WordsRanking::With ? foldedSchemaSql : rankedSchemaSql, nullptr,
                      nullptr, nullptr) == SQLITE_OK);
    const bool created = schemaMade ? insertRows(database, rows, error, ranking) : fail(database, error);
    sqlite3_close(database);
    if (!created)
        QFile::remove(path);
    return created;
}

// Files and word-database rows as the tests write and read them, each in one call.
#pragma once

#include "store/sqliteconnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

// Writes the bytes, making the folder; returns the path. No test goes on without its file.
inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The file's bytes; "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The first column of each row the statement gives, "<null>" for NULL; none when it fails.
inline QStringList column(DbConnection& words, const QString& statement) {
    QStringList texts;
    for (auto result = words.execute(statement); result && !result->eof(); result->moveNext())
        texts.append(result->text1().value_or("<null>"));
    return texts;
}

// The same through a connection of its own, as another program sees the file; "<cannot open>" when
// it cannot be opened.
inline QStringList column(const QString& path, const QString& statement) {
    SqliteConnection words(path);
    return words.open() ? column(words, statement) : QStringList{"<cannot open>"};
}

// Which words.mdb the program uses: one beside the program, else the user's own copy of the
// installed default words.
#pragma once

#include <QString>
#include <functional>

inline const QString wordDatabaseName = QStringLiteral("words.mdb");

struct WordDatabasePlace {
    QString path;     // the database the program opens
    QString copyFrom; // when not empty, path does not exist yet and is made as a copy of this
};

// Decides from what exists: a database beside the program wins (a build folder, a portable
// copy); else the user's copy in userDataDir; else a new user copy of the installed default
// (../share/quenlo beside the program's folder). With none of them, the database beside the
// program, which is missing: the program then runs without words, as it always did.
WordDatabasePlace chooseWordDatabase(const QString& programDir, const QString& userDataDir,
                                     const std::function<bool(const QString& path)>& exists);

// Makes the user's copy: written under a temporary name in the same folder, then renamed to
// target, which is never overwritten. True when target exists afterwards, made by this call or
// by another one at the same moment; false with the reason in error otherwise.
bool copyWordDatabase(const QString& source, const QString& target, QString& error);

// chooseWordDatabase on the real file system, and the copy made when it asks for one. When the
// copy fails, the installed default is used as it is (suggestions work, edits report the
// read-only file) and problem says why. made, when given, tells whether the copy was made now.
QString prepareWordDatabase(const QString& programDir, const QString& userDataDir, QString& problem,
                            bool* made = nullptr);

// Placing the word database: beside the program, or a per-user copy of the installed default.
#include "worddatabaseplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

WordDatabasePlace chooseWordDatabase(const QString& programDir, const QString& userDataDir,
                                     const std::function<bool(const QString&)>& exists) {
    const QString beside = QDir(programDir).filePath(wordDatabaseName);
    if (exists(beside))
        return {beside, {}};
    if (userDataDir.isEmpty())
        return {beside, {}};
    const QString userCopy = QDir(userDataDir).filePath(wordDatabaseName);
    if (exists(userCopy))
        return {userCopy, {}};
    const QString installed = QDir::cleanPath(QDir(programDir).filePath(QStringLiteral("../share/quenlo/")) +
                                              QLatin1Char('/') + wordDatabaseName);
    if (exists(installed))
        return {userCopy, installed};
    return {beside, {}};
}

bool copyWordDatabase(const QString& source, const QString& target, QString& error) {
    const QString folder = QFileInfo(target).path();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(source, in.errorString());
        return false;
    }
    // Removed again unless the rename succeeds, so an interrupted copy leaves no half file.
    QTemporaryFile out(target + QStringLiteral(".XXXXXX.part"));
    if (!out.open()) {
        error = QStringLiteral("cannot write in %1: %2").arg(folder, out.errorString());
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError) {
            error = QStringLiteral("cannot read %1: %2").arg(source, in.errorString());
            return false;
        }
        if (out.write(chunk) != chunk.size()) {
            error = QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString());
            return false;
        }
    }
    if (!out.flush()) {
        error = QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString());
        return false;
    }
    // Rename never replaces an existing file: a user's database made meanwhile is kept.
    if (out.rename(target)) {
        out.setAutoRemove(false);
        return true;
    }
    if (QFileInfo::exists(target))
        return true;
    error = QStringLiteral("cannot create %1: %2").arg(target, out.errorString());
    return false;
}

QString prepareWordDatabase(const QString& programDir, const QString& userDataDir, QString& problem,
                            bool* made) {
    const WordDatabasePlace place = chooseWordDatabase(
        programDir, userDataDir, [](const QString& path) { return QFileInfo::exists(path); });
    if (place.copyFrom.isEmpty())
        return place.path;
    QString error;
    if (copyWordDatabase(place.copyFrom, place.path, error)) {
        if (made)
            *made = true;
        return place.path;
    }
    problem = QStringLiteral("Your own copy of the word database could not be made (%1), so words "
                             "cannot be added or removed.")
                  .arg(error);
    return place.copyFrom;
}

// Writing, reading and removing the program's XDG autostart entry.
#include "xdgautostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// Characters that make an Exec= argument need quoting in a desktop entry.
const QString reservedCharacters = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

// A value of a desktop entry key: backslash and line breaks escaped.
QString escapeValue(QString value) {
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    value.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    value.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return value;
}

bool isTrue(const QByteArray& value) {
    return value.trimmed() == "true";
}
} // namespace

XdgAutostart::XdgAutostart(QString configDir, Entry entry)
    : m_configDir(std::move(configDir))
    , m_entry(std::move(entry)) {}

QString XdgAutostart::entryPath() const {
    return QDir(m_configDir)
        .filePath(QStringLiteral("autostart/") + m_entry.appId + QStringLiteral(".desktop"));
}

bool XdgAutostart::isEnabled() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return entryStartsProgram(file.readAll());
}

bool XdgAutostart::setEnabled(bool enabled, QString& error) {
    const QString path = entryPath();
    if (!enabled) {
        QFile file(path);
        if (!file.exists() || file.remove())
            return true;
        error = QStringLiteral("cannot remove %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).path());
        return false;
    }
    // Written whole or not at all: a session never reads half an entry.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText(m_entry)) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray XdgAutostart::entryText(const Entry& entry) {
    // "%" introduces field codes on Exec= lines, so a literal one is doubled. TryExec makes the
    // session skip the entry once the program is gone, e.g. after the package was removed.
    QString exec = execArgument(entry.programPath);
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Comment=%2\n"
                                        "Exec=%3\n"
                                        "TryExec=%4\n"
                                        "Icon=%5\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeValue(entry.name), escapeValue(entry.comment), escapeValue(exec),
                                  escapeValue(entry.programPath), escapeValue(entry.appId));
    return text.toUtf8();
}

QString XdgAutostart::execArgument(const QString& path) {
    bool needsQuotes = path.isEmpty();
    for (const QChar c : path)
        needsQuotes = needsQuotes || reservedCharacters.contains(c);
    if (!needsQuotes)
        return path;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

bool XdgAutostart::entryStartsProgram(const QByteArray& text) {
    bool inMainGroup = false;
    bool starts = true;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1);
        if (key == "Hidden" && isTrue(value))
            starts = false;
        if (key == "X-GNOME-Autostart-enabled" && value.trimmed() == "false")
            starts = false;
    }
    return starts;
}

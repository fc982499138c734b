// Reading word-list files into the list and writing the list back, line ends as Windows writes them.
#include "wordlistfiles.h"

#include "platform/filedialogs.h"
#include "platform/messageboxes.h"
#include "store/linereader.h"
#include "store/localenumber.h"
#include "store/wordlistmodel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSaveFile>
#include <QScopeGuard>

namespace {
const QString lineEnd = QStringLiteral("\r\n");

qsizetype characterCount(QStringView text) {
    qsizetype count = 0;
    for (const QChar c : text)
        count += c.isLowSurrogate() ? 0 : 1;
    return count;
}
} // namespace

QStringView trimSpaces(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.sliced(begin, end - begin);
}

QString cannotReadMessage(const QString& shownName, const QString& reason) {
    return QStringLiteral("Could not read the word list file \"%1\": %2").arg(shownName, reason);
}

QString tooLongLinesMessage(const QString& shownName, const QList<qint64>& lineNumbers,
                            qsizetype maxLineBytes) {
    QStringList numbers;
    for (qsizetype i = 0; i < std::min<qsizetype>(lineNumbers.size(), 5); ++i)
        numbers.append(QString::number(lineNumbers[i]));
    if (lineNumbers.size() > 5)
        numbers.append(QStringLiteral("and %1 more").arg(lineNumbers.size() - 5));
    return (lineNumbers.size() == 1 ? QStringLiteral("Line %2 of the word list file \"%1\" is longer than "
                                                     "%3 bytes and was not imported.")
                                    : QStringLiteral("Lines %2 of the word list file \"%1\" are longer than "
                                                     "%3 bytes and were not imported."))
        .arg(shownName, numbers.join(QStringLiteral(", ")), QString::number(maxLineBytes));
}

bool isAcceptedFileName(const QString& name) {
    const QStringView trimmed = trimSpaces(name);
    return !trimmed.isEmpty() && trimmed != QLatin1String("*.kw");
}

bool isImportedLine(QStringView line, double minimumLength) {
    return !trimSpaces(line).isEmpty() && double(characterCount(line)) >= minimumLength;
}

WordListFiles::WordListFiles(WordListModel& model, QLineEdit* Text8, FileDialogs& dialogs,
                             MessageBoxes& messages,
                             std::function<void(const QString& name)> rememberImportFile)
    : m_model(model)
    , m_text8(Text8)
    , m_dialogs(dialogs)
    , m_messages(messages)
    , m_rememberImportFile(std::move(rememberImportFile)) {}

void WordListFiles::fileImport() {
    m_currentFileName.clear();
    m_currentFileName = m_dialogs.openFileName();
    const QString name = m_currentFileName;
    if (!isAcceptedFileName(name))
        return;
    // Remembered before reading, so that a file that fails to read is still the one to import.
    if (m_rememberImportFile)
        m_rememberImportFile(name);
    GetImportFile(name, true);
}

void WordListFiles::fileSave() {
    if (m_currentFileName.isEmpty())
        m_currentFileName = m_dialogs.saveFileName();
    if (isAcceptedFileName(m_currentFileName))
        ExportFile();
}

void WordListFiles::fileSaveAs() {
    m_currentFileName.clear();
    m_currentFileName = m_dialogs.saveFileName();
    if (isAcceptedFileName(m_currentFileName))
        ExportFile();
}

bool WordListFiles::GetImportFile(const QString& name, bool reportFailure) {
    m_lastImportProblem.clear();
    // Messages show the name as the system writes it: backslashes on Windows.
    const QString shownName = QDir::toNativeSeparators(name);
    QStringList problems;
    const auto report = [&] {
        m_lastImportProblem = problems.join(QLatin1Char('\n'));
        if (reportFailure && !problems.isEmpty())
            m_messages.inform(applicationTitle, m_lastImportProblem);
    };
    const auto cannotRead = [&](const QString& reason) {
        problems.prepend(cannotReadMessage(shownName, reason));
    };
    const auto fail = [&](const QString& reason) {
        cannotRead(reason);
        report();
        return false;
    };
    const QFileInfo info(name);
    // Opening a pipe waits for a writer, and a device may never end: only files are read.
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("it is not a regular file"));
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QString error;
    const std::optional<TextEncoding> encoding = detectEncoding(file, &error);
    if (!encoding)
        return fail(error);
    m_encodings.insert(info.absoluteFilePath(), *encoding);
    LineReader reader(file, *encoding);
    // Whatever was appended shows at once, however the reading ends; skipped lines are told.
    const auto showAppended = qScopeGuard([&] {
        m_model.publish();
        if (!reader.tooLongLines().isEmpty())
            problems.append(tooLongLinesMessage(shownName, reader.tooLongLines(), reader.maxLineBytes()));
        report();
    });
    QString line;
    while (reader.readLine(line)) {
        // Keeps the window alive during a long import; other commands may run here.
        QCoreApplication::processEvents();
        // Text8 is read afresh for every line: it may have been changed during the yield.
        const QString minimumText = m_text8->text();
        const std::optional<double> minimumLength = parseLocaleNumber(minimumText);
        if (!minimumLength) {
            cannotRead(QStringLiteral("the minimum word length \"%1\" is not a number").arg(minimumText));
            return false; // told as the reading ends
        }
        if (isImportedLine(line, *minimumLength))
            m_model.addWord(line);
    }
    if (reader.failed()) {
        cannotRead(reader.errorString());
        return false;
    }
    return true;
}

bool WordListFiles::ExportFile() {
    // The name as the command found it: a command run during the yields may change the current one.
    const QString name = m_currentFileName;
    QString text;
    for (int row = 0; row < m_model.count(); ++row) {
        // Keeps the window alive during a long save; other commands may change the list here.
        QCoreApplication::processEvents();
        if (row >= m_model.count())
            break;
        text += m_model.word(row);
        text += lineEnd;
    }
    const QString content = trimSpaces(text).toString() + lineEnd;
    const QString path = QFileInfo(name).absoluteFilePath();
    TextEncoding encoding = m_encodings.value(path, TextEncoding::Utf8);
    if (!m_encodings.contains(path)) {
        // A file this run has not read keeps the encoding it is in.
        QFile old(name);
        if (QFileInfo(name).isFile() && old.open(QIODevice::ReadOnly))
            encoding = detectEncoding(old).value_or(TextEncoding::Utf8);
    }
    std::optional<QByteArray> bytes = encodeFile(content, encoding);
    if (!bytes) {
        m_messages.inform(
            applicationTitle,
            QStringLiteral("The word list \"%1\" holds letters that %2 cannot hold, so it is saved "
                           "in UTF-8 instead.")
                .arg(QDir::toNativeSeparators(name), encodingName(encoding)));
        encoding = TextEncoding::Utf8WithBom;
        bytes = encodeFile(content, encoding);
    }
    // Written beside the old file and put in its place only when complete: a failure leaves it be.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit()) {
        m_messages.inform(applicationTitle, QStringLiteral("Could not save the word list to \"%1\": %2\n"
                                                           "Any earlier file of that name is unchanged.")
                                                .arg(QDir::toNativeSeparators(name), file.errorString()));
        return false;
    }
    m_encodings.insert(path, encoding);
    return true;
}

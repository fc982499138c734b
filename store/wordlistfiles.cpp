// Reading word-list files into the list and writing the list back, line ends as Windows writes them.
#include "wordlistfiles.h"

#include "platform/filedialogs.h"
#include "platform/localenumber.h"
#include "platform/messageboxes.h"
#include "store/linereader.h"
#include "store/wordlistmodel.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStringEncoder>

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
    const auto fail = [&](const QString& reason) {
        if (reportFailure)
            m_messages.inform(
                applicationTitle,
                QStringLiteral("Could not read the word list file \"%1\": %2").arg(name, reason));
        return false;
    };
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    LineReader reader(file);
    // Whatever was appended shows at once, however the reading ends.
    const auto showAppended = qScopeGuard([this] { m_model.publish(); });
    QString line;
    while (reader.readLine(line)) {
        // Keeps the window alive during a long import; other commands may run here.
        QCoreApplication::processEvents();
        // Text8 is read afresh for every line: it may have been changed during the yield.
        const QString minimumText = m_text8->text();
        const std::optional<double> minimumLength = parseLocaleNumber(minimumText);
        if (!minimumLength)
            return fail(QStringLiteral("the minimum word length \"%1\" is not a number").arg(minimumText));
        if (isImportedLine(line, *minimumLength))
            m_model.addWord(line);
    }
    if (reader.failed())
        return fail(reader.errorString());
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
    QStringEncoder encoder(QStringConverter::System);
    const QByteArray bytes = encoder.encode(content);
    // Written beside the old file and put in its place only when complete: a failure leaves it be.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_messages.inform(applicationTitle, QStringLiteral("Could not save the word list to \"%1\": %2\n"
                                                           "Any earlier file of that name is unchanged.")
                                                .arg(name, file.errorString()));
        return false;
    }
    return true;
}

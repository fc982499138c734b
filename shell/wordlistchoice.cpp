// The word lists in use: the first start's pick, the dialog's changes and files added by hand.
#include "wordlistchoice.h"

#include "platform/filedialogs.h"
#include "platform/messageboxes.h"
#include "settingsstore.h"
#include "store/defaultwordlists.h"
#include "store/languagelists.h"
#include "store/wordlistfiles.h"
#include "ui/form1.h"

#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QScopeGuard>

namespace {
const QString section = QStringLiteral("Options");
const QString key = QStringLiteral("WordLists");
const QChar separator = QLatin1Char(';');
// Told apart from a stored empty text, which means that the user ticked no list.
const QString neverChosen = QStringLiteral("\n");
} // namespace

WordListChoice::WordListChoice(DbConnection& words, SettingsStore& settings, MessageBoxes& messages,
                               FileDialogs& dialogs, Form1& window, QString folder)
    : m_words(words)
    , m_settings(settings)
    , m_messages(messages)
    , m_dialogs(dialogs)
    , m_window(window)
    , m_folder(std::move(folder)) {}

QStringList WordListChoice::inUse() const {
    const QString stored = m_settings.ReadSetting(settingsApplication, section, key, QString());
    return stored.split(separator, Qt::SkipEmptyParts);
}

void WordListChoice::setInUse(const QStringList& lists) {
    m_settings.WriteSetting(settingsApplication, section, key, lists.join(separator));
}

WordListSource WordListChoice::source(const QString& file) const {
    const std::optional<LanguageList> known = languageList(file);
    return {QDir(m_folder).filePath(file), known ? std::optional(known->olderCodePage()) : std::nullopt};
}

bool WordListChoice::installed(const QString& file) const {
    return languageList(file) && QFileInfo(QDir(m_folder).filePath(file)).isFile();
}

WordListChange
WordListChoice::run(const QString& doing,
                    const std::function<WordListChange(const std::function<void(int)>&)>& change) {
    m_busy = true;
    // Edits made meanwhile would share the list's transaction, and be undone with it.
    m_window.centralWidget()->setEnabled(false);
    m_window.menuBar()->setEnabled(false);
    const QString notice = m_window.notice();
    const auto done = qScopeGuard([&] {
        m_window.setNotice(notice);
        m_window.centralWidget()->setEnabled(true);
        m_window.menuBar()->setEnabled(true);
        m_busy = false;
    });
    return change([&](int percent) {
        const QString progress = QStringLiteral("%1: %2%").arg(doing).arg(percent);
        m_window.setNotice(notice.isEmpty() ? progress : notice + QStringLiteral("  ") + progress);
    });
}

QString WordListChoice::databaseMade(const QString& localeName) {
    if (!hasFolder() || m_busy)
        return {};
    const bool chosenBefore =
        m_settings.ReadSetting(settingsApplication, section, key, neverChosen) != neverChosen;
    QStringList lists = inUse();
    if (!chosenBefore) {
        const std::optional<LanguageList> list = listForLocale(localeName, installedLanguageLists(m_folder));
        if (!list)
            return {}; // the English default words
        lists = {list->file};
    }
    QStringList problems;
    QStringList added;
    for (const QString& file : std::as_const(lists)) {
        if (!installed(file))
            continue;
        const WordListChange change = run(QStringLiteral("Adding the word list %1").arg(file),
                                          [&](const std::function<void(int)>& progress) {
                                              return addWordList(m_words, source(file), progress);
                                          });
        if (!change.problem.isEmpty())
            problems.append(change.problem);
        if (change.done)
            added.append(file);
    }
    if (!chosenBefore && !added.isEmpty())
        setInUse(added);
    return problems.join(QLatin1Char('\n'));
}

QList<WordListsDialog::Entry> WordListChoice::entries() const {
    const QStringList used = inUse();
    QList<WordListsDialog::Entry> entries;
    for (const LanguageList& list : installedLanguageLists(m_folder))
        entries.append({list.file, QStringLiteral("%1 \u2013 %2").arg(list.language, list.file),
                        used.contains(list.file)});
    for (const QString& file : used) {
        if (!installed(file))
            entries.append({file, QStringLiteral("%1 \u2013 no longer installed").arg(file), true});
    }
    return entries;
}

void WordListChoice::choose(const QStringList& chosen) {
    if (m_busy)
        return;
    QStringList lists = inUse();
    QList<WordListSource> kept;
    for (const QString& file : chosen) {
        if (installed(file))
            kept.append(source(file));
    }
    const auto tell = [this](const WordListChange& change) {
        if (!change.problem.isEmpty())
            m_messages.inform(applicationTitle, change.problem);
        return change.done;
    };
    for (const QString& file : inUse()) {
        if (chosen.contains(file))
            continue;
        // A list no longer installed cannot be read again: its words stay, and it is forgotten.
        if (installed(file) && !tell(run(QStringLiteral("Removing the word list %1").arg(file),
                                         [&](const std::function<void(int)>& progress) {
                                             return removeWordList(m_words, source(file), kept, progress);
                                         })))
            continue;
        lists.removeAll(file);
        setInUse(lists);
    }
    for (const QString& file : chosen) {
        if (lists.contains(file) || !installed(file))
            continue;
        if (!tell(run(QStringLiteral("Adding the word list %1").arg(file),
                      [&](const std::function<void(int)>& progress) {
                          return addWordList(m_words, source(file), progress);
                      })))
            continue;
        lists.append(file);
        setInUse(lists);
    }
}

void WordListChoice::importFile() {
    if (m_busy)
        return;
    const QString name = m_dialogs.openFileName();
    if (!isAcceptedFileName(name))
        return;
    const WordListChange change =
        run(QStringLiteral("Adding the word list %1").arg(QFileInfo(name).fileName()),
            [&](const std::function<void(int)>& progress) {
                return addWordList(m_words, {name, std::nullopt}, progress);
            });
    if (!change.problem.isEmpty())
        m_messages.inform(applicationTitle, change.problem);
}

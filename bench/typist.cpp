// A typist who drives the real completion engine over a text and counts the keys completion saves.
#include "typist.h"

#include "platform/keycodes.h"

#include <QCoreApplication>

namespace {
constexpr int Tab = 9, Space = 32, Down = 40;
// A key that neither adds to the word nor ends it, as digits and punctuation do.
constexpr int Period = 190;

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
} // namespace

Typist::Typist(DbConnection& words, const TypistSettings& settings)
    : m_minimumLetters(settings.minimumLetters)
    , m_wordsPerDay(settings.wordsPerDay)
    , m_numberKeys(settings.options.pickWithNumberKeys) {
    m_engine = std::make_unique<CompletionEngine>(words, m_clipboard, m_injector, m_hook);
    EngineSettings engineSettings;
    engineSettings.Text9 = QString::number(settings.minimumLetters);
    engineSettings.Text4 = QString::number(settings.maxWords);
    m_engine->setSettings(engineSettings);
    m_engine->setCompletionKeyCode(Tab);
    m_engine->setRankingOptions(settings.options);
    m_engine->learner().setCountListWords(settings.countListWords);
    QObject::connect(&m_engine->learner(), &WordLearner::wordLearned, [this] { ++m_learnedWords; });
    std::string problem;
    m_hook.start(
        [this](int keyCode, KeyDecision decide) { m_engine->keyPressed(keyCode, std::move(decide)); },
        problem);
}

Typist::~Typist() = default;

void Typist::press(int keyCode, bool capital) {
    // A letter key types its letter, whose case the engine keeps.
    if (keyCode >= 'A' && keyCode <= 'Z')
        m_hook.pressTyping(keyCode,
                           std::string(1, static_cast<char>(capital ? keyCode : keyCode - 'A' + 'a')));
    else
        m_hook.press(keyCode);
}

bool Typist::tryCompletion(const QString& rest, TypingFigures& figures) {
    const SuggestionList& form2 = m_engine->suggestions();
    if (!form2.isShown() || rest.isEmpty())
        return false;
    // The word the typist means, as the engine sees it: the buffer and the letters still to come.
    const QString wanted = m_engine->typing().Text5 + rest.toLower();
    for (int row = 0; row < form2.rowCount(); ++row) {
        if (form2.words().at(row).toLower() != wanted)
            continue;
        const int digit = KeyCode::FirstRowDigit + row;
        const bool byDigit = m_numberKeys && digit <= KeyCode::LastRowDigit;
        const int downs = byDigit ? 0 : row - std::max(form2.selectedRow(), 0);
        const int cost = downs + 1;
        if (downs < 0 || cost >= rest.size())
            return false;
        for (int i = 0; i < downs; ++i)
            press(Down);
        const int pastesBefore = m_injector.shiftInserts;
        if (byDigit)
            m_hook.pressTyping(digit, std::string(1, static_cast<char>(digit)));
        else
            press(Tab);
        const bool inserted = m_injector.shiftInserts == pastesBefore + 1 &&
                              m_clipboard.text.compare(rest, Qt::CaseInsensitive) == 0;
        figures.wrongInsertions += inserted ? 0 : 1;
        figures.completions += 1;
        figures.completionKeys += cost;
        figures.keysSaved += rest.size() - cost;
        // Lets the counting of the use run, as the event loop would between two keystrokes.
        QCoreApplication::processEvents();
        return true;
    }
    return false;
}

TypingFigures Typist::type(const QString& text) {
    TypingFigures figures;
    const qint64 learnedBefore = m_learnedWords;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c.isSpace()) {
            while (i < text.size() && text[i].isSpace())
                ++i;
            press(Space);
            ++figures.characters;
            // A new day: the bound on learned words starts afresh.
            if (m_wordsPerDay > 0 && figures.words % m_wordsPerDay == 0)
                m_engine->learner().setLearnedOn(QDate::currentDate(), 0);
            // Lets the learning of a word typed in full run, as between two keystrokes.
            QCoreApplication::processEvents();
            continue;
        }
        if (!isAsciiLetter(c)) {
            press(Period);
            ++figures.characters;
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && isAsciiLetter(text[end]))
            ++end;
        ++figures.words;
        figures.characters += end - i;
        figures.ceiling += std::max<qsizetype>(0, end - i - m_minimumLetters - 1);
        for (; i < end; ++i) {
            press(text[i].toUpper().unicode(), text[i].isUpper());
            if (tryCompletion(text.mid(i + 1, end - i - 1), figures)) {
                i = end;
                break;
            }
        }
    }
    press(Space);
    QCoreApplication::processEvents();
    figures.learnedWords = m_learnedWords - learnedBefore;
    return figures;
}

// Builds the main window and its parts, wires each control to its handler, and runs the load
// handling and the exit.
#include "quenloprogram.h"

#include "engine/completionengine.h"
#include "inputroute.h"
#include "maker.h"
#include "persistedoptions.h"
#include "platform/focusguard.h"
#include "platform/keyboardhook.h"
#include "platform/messageboxes.h"
#include "platform/windowactivation.h"
#include "privacyguard.h"
#include "rankingchoices.h"
#include "settingsstore.h"
#include "startupoptions.h"
#include "store/dbconnection.h"
#include "store/localenumber.h"
#include "store/wordlistfiles.h"
#include "store/wordlistmodel.h"
#include "store/wordlistview.h"
#include "store/wordranking.h"
#include "store/wordstatements.h"
#include "ui/excludedapplicationsdialog.h"
#include "ui/form1.h"
#include "ui/informationcommands.h"
#include "ui/programicon.h"
#include "ui/suggestionpopup.h"
#include "ui/wordlistsdialog.h"
#include "version.h"
#include "windowtray.h"
#include "wordlistchoice.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSet>
#include <QTimer>

namespace {
const QString trayTip = QStringLiteral("Quenlo " QUENLO_VERSION " - ") + maker::siteName;
// The day words were last learnt and how many, "2026-03-01 4": the daily bound outlives a restart.
const QString learnedDayKey = QStringLiteral("LearnedDay");
// The learned words the question about forgetting them names.
constexpr int learnedWordsNamed = 10;
} // namespace

QuenloProgram::QuenloProgram(ProgramServices services, FocusGuard* focusGuard)
    : m_services(std::move(services))
    , m_window(std::make_unique<Form1>())
    , m_settings(std::make_unique<SettingsStore>(m_services.settings)) {
    const Form1::Controls& ui = m_window->ui();
    m_engine = std::make_unique<CompletionEngine>(m_services.words, m_services.clipboard, m_services.injector,
                                                  m_services.hook);
    m_options = std::make_unique<PersistedOptions>(
        OptionControls{ui.Check5, ui.Check4, ui.Opt1, ui.Opt2, ui.Text2}, *m_settings, m_services.messages,
        [this](std::int16_t code) { m_engine->setCompletionKeyCode(code); },
        [this](int milliseconds) { m_engine->suggestions().setHideInterval(milliseconds); });
    m_rankingChoices = std::make_unique<RankingChoices>(
        RankingControls{ui.MostLikelyFirst, ui.LearnFromCompletions, ui.MatchCapitals, ui.LearnNewWords,
                        ui.PickWithNumberKeys},
        *m_settings, [this](const RankingOptions& options) {
            m_engine->setRankingOptions(options);
            if (m_popup)
                m_popup->showRowNumbers(options.pickWithNumberKeys);
        });
    m_tray = std::make_unique<WindowTray>(m_window.get(), m_services.tray, programIcon(), trayTip,
                                          [this](const QString& text) { m_window->setNotice(text); });
    m_wordList = std::make_unique<WordListModel>();
    m_wordListView = std::make_unique<WordListView>(ui.List1, *m_wordList, ui.Check2, ui.Check3, ui.Text7,
                                                    m_services.words, m_services.messages, maker::siteName,
                                                    m_services.databaseFile);
    m_wordListFiles = std::make_unique<WordListFiles>(
        *m_wordList, ui.Text8, m_services.fileDialogs, m_services.messages, [this](const QString& name) {
            m_settings->WriteSetting(settingsApplication, QStringLiteral("File"), QStringLiteral("Import"),
                                     name);
        });
    m_wordListChoice =
        std::make_unique<WordListChoice>(m_services.words, *m_settings, m_services.messages,
                                         m_services.fileDialogs, *m_window, m_services.wordListFolder);
    m_information = std::make_unique<InformationCommands>(m_services.messages, m_services.webPages,
                                                          m_services.programDir);
    if (!focusGuard) {
        m_nullFocusGuard = std::make_unique<NullFocusGuard>();
        focusGuard = m_nullFocusGuard.get();
    }
    m_privacy = std::make_unique<PrivacyGuard>(
        *focusGuard, *m_engine, *m_settings, [this](const QString& text) { m_window->setPauseNotice(text); });
    connect(m_privacy.get(), &PrivacyGuard::passwordFieldsUnknowable, this, &QuenloProgram::showProblem);
    m_startupOptions =
        std::make_unique<StartupOptions>(ui.Options, ui.RunMinimized, ui.StartWithSession, *m_settings,
                                         m_services.autostart, m_services.messages);
    m_inputRoute = std::make_unique<InputRoute>(
        InputRouteControls{ui.InputRoute, ui.KeyboardHookRoute, ui.InputMethodRoute}, *m_settings,
        inputMethodInUse(), m_services.inputRouteChoosable,
        [this](const QString& text) { m_window->setNotice(text); });
    m_settings->setWriteFailureHandler([this](const QString& what) {
        m_window->setNotice(QStringLiteral("Your settings could not be saved (%1).").arg(what));
    });
    wire();
}

QuenloProgram::~QuenloProgram() = default;

void QuenloProgram::wire() {
    const Form1::Controls& ui = m_window->ui();
    connect(ui.Command1, &QPushButton::clicked, this, [this] { m_tray->minimize(); });
    connect(m_window.get(), &Form1::frameCloseRequested, this, [this] {
        if (!m_tray->hideOnClose())
            exit();
    });
    connect(ui.Exit, &QAction::triggered, this, &QuenloProgram::exit);

    // Every change of a Show box fills the list, however it came: an assistive tool's toggle
    // changes the box without a click.
    connect(ui.Check2, &QCheckBox::toggled, this, [this] { m_wordListView->FillData(); });
    connect(ui.Check3, &QCheckBox::toggled, this, [this] { m_wordListView->FillData(); });
    connect(ui.Command8, &QPushButton::clicked, this, [this] { m_wordListView->addWord(); });
    connect(ui.Command5, &QPushButton::clicked, this, [this] { m_wordListView->removeWord(); });
    connect(ui.Command2, &QPushButton::clicked, this, [this] { m_wordListView->clearList(); });
    connect(ui.DeleteMMMM, &QAction::triggered, this, [this] { m_wordListView->deleteWord(); });
    connect(ui.ClearLearnedCounts, &QAction::triggered, this, &QuenloProgram::clearLearnedCounts);
    connect(ui.ForgetLearnedWords, &QAction::triggered, this, &QuenloProgram::forgetLearnedWords);
    connect(&m_engine->learner(), &WordLearner::wordLearned, this, [this](QDate day, int count) {
        m_settings->WriteSetting(settingsApplication, QStringLiteral("Options"), learnedDayKey,
                                 day.toString(Qt::ISODate) + QLatin1Char(' ') + QString::number(count));
    });

    connect(ui.FileImport, &QAction::triggered, this, [this] { m_wordListFiles->fileImport(); });
    connect(ui.FileSave, &QAction::triggered, this, [this] { m_wordListFiles->fileSave(); });
    connect(ui.FileSave2, &QAction::triggered, this, [this] { m_wordListFiles->fileSaveAs(); });

    connect(ui.ProtectPasswordFields, &QAction::toggled, this,
            [this](bool on) { m_privacy->setProtectPasswordFields(on); });
    connect(ui.ExcludedApplications, &QAction::triggered, this, &QuenloProgram::editExcludedApplications);
    connect(ui.WordLists, &QAction::triggered, this, &QuenloProgram::editWordLists);

    // The key handling reads a snapshot of the settings, never the controls themselves.
    for (QLineEdit* box : {ui.Text9, ui.Text8, ui.Text4})
        connect(box, &QLineEdit::textChanged, this, &QuenloProgram::pushEngineSettings);
    for (QCheckBox* box : {ui.Check1, ui.Check4, ui.Check5})
        connect(box, &QCheckBox::stateChanged, this, &QuenloProgram::pushEngineSettings);
    pushEngineSettings();
    connect(m_engine.get(), &CompletionEngine::settingsRepaired, this, [this] {
        const EngineSettings& repaired = m_engine->settings();
        m_window->ui().Text9->setText(repaired.Text9);
        m_window->ui().Text8->setText(repaired.Text8);
    });
    // Form2 is made when it first shows: most starts of the program never need it at once.
    connect(&m_engine->suggestions(), &SuggestionList::shownChanged, this, [this](bool shown) {
        if (shown && !m_popup) {
            m_popup = std::make_unique<SuggestionPopup>(m_engine->suggestions());
            m_popup->showRowNumbers(m_engine->rankingOptions().pickWithNumberKeys);
        }
    });

    connect(m_engine.get(), &CompletionEngine::clipboardNotKept, this, [this] {
        m_window->setNotice(
            QStringLiteral("The last completion could not keep your clipboard: what was on it "
                           "could not be read in time, and is gone."));
    });
    connect(m_engine.get(), &CompletionEngine::completionNotPasted, this, [this] {
        m_window->setNotice(QStringLiteral(
            "The last completion could not be pasted: the clipboard could not be taken in time."));
    });

    m_information->connectTo(*m_window);
}

void QuenloProgram::pushEngineSettings() {
    const Form1::Controls& ui = m_window->ui();
    m_engine->setSettings({ui.Text9->text(), ui.Text8->text(), ui.Text4->text(), ui.Check1->checkState(),
                           ui.Check4->checkState(), ui.Check5->checkState()});
}

void QuenloProgram::editExcludedApplications() {
    QList<ExcludedApplicationsDialog::Entry> entries;
    for (const ExcludedApplication& excluded : m_privacy->excludedApplications())
        entries.append({excluded.id, excluded.name});
    const FocusedApplication previous = m_privacy->previousApplication();
    auto* dialog = new ExcludedApplicationsDialog(
        entries, {QString::fromStdString(previous.id), QString::fromStdString(previous.name)},
        m_window.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        QList<ExcludedApplication> excluded;
        for (const ExcludedApplicationsDialog::Entry& entry : dialog->entries())
            excluded.append({entry.id, entry.name});
        m_privacy->setExcludedApplications(excluded);
    });
    dialog->open();
}

void QuenloProgram::editWordLists() {
    if (m_wordListChoice->busy())
        return;
    if (!m_wordListChoice->hasFolder()) {
        m_wordListChoice->importFile();
        return;
    }
    auto* dialog =
        new WordListsDialog(m_wordListChoice->entries(), m_wordListChoice->folder(), m_window.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        // Taken before the lists change: the dialog goes while they do.
        const QStringList chosen = dialog->chosen();
        m_wordListChoice->choose(chosen);
    });
    dialog->open();
}

void QuenloProgram::load() {
    m_tray->IconTray();
    m_wordListFiles->setCurrentFileName(m_settings->ReadSetting(settingsApplication, QStringLiteral("File"),
                                                                QStringLiteral("Save"), QString()));
    // Only a value that reads as the number 1 switches the start-up import on.
    const std::optional<double> autoImport = parseLocaleNumber(m_settings->ReadSetting(
        settingsApplication, QStringLiteral("Options"), QStringLiteral("AutoImort"), QString()));
    if (autoImport && *autoImport == 1) {
        m_wordListFiles->GetImportFile(m_settings->ReadSetting(settingsApplication, QStringLiteral("File"),
                                                               QStringLiteral("Import"), QString()),
                                       false);
        // Start-up goes on, but a file that could not be read, or lines left out, are told.
        if (!m_wordListFiles->lastImportProblem().isEmpty())
            addNotice(m_wordListFiles->lastImportProblem());
    }
    // Once, here and not on a key: adding the ranking columns and the folded key reads and writes
    // the whole table. A database that cannot be written works on as it is, as before.
    if (m_services.words.open())
        upgradeWordSchema(m_services.words);
    if (m_services.wordDatabaseMade) {
        // Once the window shows: a language's list takes seconds, which its notice line then tells.
        QTimer::singleShot(0, this, [this] {
            if (m_services.words.state() != 0)
                addNotice(m_wordListChoice->databaseMade(m_services.localeName));
        });
    }
    m_engine->wordDatabaseChanged();
    m_options->restore();
    m_rankingChoices->restore();
    const QStringList learnedDay =
        m_settings->ReadSetting(settingsApplication, QStringLiteral("Options"), learnedDayKey, QString())
            .split(QLatin1Char(' '));
    m_engine->learner().setLearnedOn(QDate::fromString(learnedDay.value(0), Qt::ISODate),
                                     learnedDay.value(1).toInt());
    m_options->OptionsCheck();
    m_privacy->restore();
    m_window->ui().ProtectPasswordFields->setChecked(m_privacy->protectPasswordFields());
    m_startupOptions->restore();
    m_inputRoute->restore();
    startKeyboardHook();
    m_privacy->start();
}

void QuenloProgram::showMainWindow(bool minimized) {
    // The tray icon is up from the start of loading, whose yields run its clicks: a user who brought
    // the window back meanwhile keeps it.
    if (m_window->isVisible())
        return;
    if (minimized || m_startupOptions->startMinimized())
        m_tray->minimize();
    else
        m_window->show();
}

void QuenloProgram::bringToFront() {
    activateAtUsersRequest(*m_window);
}

void QuenloProgram::inputMethodRequested() {
    // The engine of this run is offered to IBus already; IBus finds it once started.
    if (inputMethodInUse())
        return;
    // The keyboard backends are chosen once per run: a key seen by both routes would be handled twice.
    m_window->setNotice(
        QStringLiteral("IBus asked for Quenlo as the input method, but this run takes the keys from the "
                       "keyboard hook, which goes on completing. For the input method, choose Options > "
                       "Input route > Input method and start Quenlo again."));
}

bool QuenloProgram::inputMethodInUse() const {
    return m_services.hook.name() == "IBus";
}

void QuenloProgram::startKeyboardHook() {
    std::string problem = m_services.keyboardProblem;
    if (problem.empty()) {
        m_services.hook.start(
            [this](int keyCode, KeyDecision decide) { m_engine->keyPressed(keyCode, std::move(decide)); },
            problem);
    }
    if (!problem.empty())
        showKeyboardProblem(QString::fromStdString(problem));
}

void QuenloProgram::showKeyboardProblem(const QString& problem) {
    showProblem(QStringLiteral("Completion cannot see the keyboard: %1.").arg(problem));
}

void QuenloProgram::showProblem(const QString& text) {
    addNotice(text);
    m_tipProblems = m_tipProblems.isEmpty() ? text : m_tipProblems + QLatin1Char('\n') + text;
    m_tray->setTipProblem(m_tipProblems);
}

void QuenloProgram::addNotice(const QString& text) {
    if (text.isEmpty())
        return;
    // The notice is one line.
    QString line = text;
    line.replace(QLatin1Char('\n'), QStringLiteral("  "));
    const QString shown = m_window->notice();
    m_window->setNotice(shown.isEmpty() ? line : shown + QStringLiteral("  ") + line);
}

void QuenloProgram::exit() {
    m_engine->suggestions().hide();
    m_window->hide();
    m_tray->removeIcon();
    m_services.words.close();
    QCoreApplication::exit(0);
}

void QuenloProgram::clearLearnedCounts() {
    if (m_services.words.state() == 0)
        m_services.words.open();
    if (!hasWordRanking(m_services.words)) {
        m_services.messages.inform(applicationTitle,
                                   QStringLiteral("This word database keeps no learned counts."));
        return;
    }
    if (!m_services.messages.ask(applicationTitle,
                                 QStringLiteral("Forget how often each word was completed? Suggestions "
                                                "will be ranked by commonness alone.")))
        return;
    if (!m_services.words.execute(clearLearnedCountsStatement()))
        m_services.messages.inform(applicationTitle, m_services.words.lastError());
}

void QuenloProgram::forgetLearnedWords() {
    if (m_services.words.state() == 0)
        m_services.words.open();
    QStringList learned;
    {
        const std::unique_ptr<DbResult> rows = m_services.words.execute(learnedWordsStatement());
        if (!rows) {
            m_services.messages.inform(applicationTitle,
                                       QStringLiteral("This word database keeps no learned words."));
            return;
        }
        for (; !rows->eof(); rows->moveNext())
            learned.append(rows->text1().value_or(QString()));
    }
    if (learned.isEmpty()) {
        m_services.messages.inform(applicationTitle,
                                   QStringLiteral("No word has been learnt from your typing."));
        return;
    }
    QString named = learned.mid(0, learnedWordsNamed).join(QStringLiteral(", "));
    if (learned.size() > learnedWordsNamed)
        named += QStringLiteral(", \u2026");
    if (!m_services.messages.ask(applicationTitle,
                                 QStringLiteral("Forget the %1 words learnt from your typing (%2)? The words "
                                                "you added yourself and the default words stay.")
                                     .arg(learned.size())
                                     .arg(named)))
        return;
    if (!m_services.words.execute(forgetLearnedWordsStatement())) {
        m_services.messages.inform(applicationTitle, m_services.words.lastError());
        return;
    }
    // Typed again, they are counted afresh; and the list no longer shows them.
    m_engine->learner().forget();
    const QSet<QString> forgotten(learned.cbegin(), learned.cend());
    m_wordList->publish();
    for (int row = m_wordList->count() - 1; row >= 0; --row) {
        if (forgotten.contains(m_wordList->word(row)))
            m_wordList->removeRow(row);
    }
}

Form1& QuenloProgram::mainWindow() const {
    return *m_window;
}

CompletionEngine& QuenloProgram::engine() const {
    return *m_engine;
}

WordListModel& QuenloProgram::wordList() const {
    return *m_wordList;
}

WordListFiles& QuenloProgram::wordListFiles() const {
    return *m_wordListFiles;
}

PrivacyGuard& QuenloProgram::privacy() const {
    return *m_privacy;
}

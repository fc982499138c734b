// The whole program over fakes and a words database named by the test.
#pragma once

#include "engine/completionengine.h"
#include "shell/quenloprogram.h"
#include "store/sqliteconnection.h"
#include "tests/fakes/fakes.h"
#include "tests/fakes/testfocusguard.h"
#include "tests/fakes/testkeyboardhook.h"
#include "ui/suggestionpopup.h"

#include <QCoreApplication>
#include <memory>

struct ProgramRig {
    explicit ProgramRig(const QString& databasePath)
        : words(databasePath)
        , databaseFile(databasePath) {}
    // Runs the load handling; with a focus guard completion can pause.
    QuenloProgram& start(FocusGuard* focusGuard = nullptr) {
        program = std::make_unique<QuenloProgram>(
            ProgramServices{settings, tray, fileDialogs, messages, webPages, clipboard, hook, injector, words,
                            QString(), keyboardProblem, databaseFile, &autostart, inputRouteChoosable,
                            wordListFolder, localeName, wordDatabaseMade},
            focusGuard);
        program->load();
        return *program;
    }
    // A stored value, "<absent>" when none is.
    QString setting(const QString& key) const { return settings.values.value("Quenlo/" + key, "<absent>"); }
    void type(const QString& letters) {
        for (const QChar letter : letters)
            hook.pressTyping(letter.toUpper().unicode(), QString(letter).toStdString());
    }
    // Types the word between spaces; a word that qualified for learning is written once the key is
    // answered.
    void typeWord(const QString& word) {
        type(' ' + word + ' ');
        QCoreApplication::processEvents();
    }
    bool popupShown() const {
        const SuggestionPopup* popup = program->popup();
        return popup && popup->isVisible();
    }

    MemorySettingsBackend settings;
    FakeTrayIcon tray;
    FakeFileDialogs fileDialogs;
    FakeMessageBoxes messages;
    FakeWebPages webPages;
    FakeClipboard clipboard;
    TestKeyboardHook hook;
    RecordingKeyInjector injector;
    FakeSessionAutostart autostart;
    TestFocusGuard focus;
    SqliteConnection words;
    QString databaseFile;
    std::string keyboardProblem; // why no real keyboard backend could start
    bool inputRouteChoosable = false;
    QString wordListFolder; // the system's word lists; none unless set
    QString localeName;
    bool wordDatabaseMade = false;
    std::unique_ptr<QuenloProgram> program;
};

// The program's command line: what a start was asked to do.
#pragma once

#include <QString>
#include <QStringList>

struct CommandLine {
    enum class Action {
        Run,      // start, or hand over to the running program
        ShowText, // print text on standard output and end (--help, --version)
        Refuse,   // print text on standard error and end with usageExitCode
    };
    static constexpr int usageExitCode = 2;

    Action action = Action::Run;
    QString text;
    bool minimized = false;   // --minimized: this start leaves the window in the tray
    bool inputMethod = false; // --ibus: IBus started the program for its engine
};

// Reads arguments (the program's name first). Needs no application object, so that --help works
// without a display.
CommandLine parseCommandLine(const QStringList& arguments);

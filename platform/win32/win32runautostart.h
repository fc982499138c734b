// Starting the program with the Windows session: a value under the user's Run key, as Windows and
// its Task Manager read it.
#pragma once

#include "platform/sessionautostart.h"

#include <QString>

class Win32RunAutostart final : public SessionAutostart {
public:
    // valueName names the value under the Run key (what regedit and older tools show); the keys
    // are under HKEY_CURRENT_USER and are only given other paths by tests.
    Win32RunAutostart(QString valueName, QString programPath,
                      QString runKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
                      QString approvedKey = QStringLiteral(
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run"));

    bool available() const override { return true; }
    // Only a value that starts this very program, its path quoted, counts: one left by a copy elsewhere
    // does not, nor an unquoted one, nor one the user switched off in Task Manager.
    bool isEnabled() const override;
    bool setEnabled(bool enabled, QString& error) override;

private:
    // The value's text: the program's path in quotes, as a command line.
    QString command() const;

    QString m_valueName;
    QString m_programPath;
    QString m_runKey;
    QString m_approvedKey;
};

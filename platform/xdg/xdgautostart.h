// Session autostart on freedesktop.org desktops: an entry in $XDG_CONFIG_HOME/autostart.
#pragma once

#include "platform/sessionautostart.h"

#include <QByteArray>
#include <QString>

class XdgAutostart final : public SessionAutostart {
public:
    struct Entry {
        QString appId;       // the entry is <appId>.desktop
        QString name;        // Name= shown by the session's settings
        QString comment;     // Comment=
        QString programPath; // the program the session starts
    };
    // configDir is $XDG_CONFIG_HOME (~/.config when unset); the entry goes to its autostart folder.
    XdgAutostart(QString configDir, Entry entry);

    bool available() const override { return true; }
    bool isEnabled() const override;
    bool setEnabled(bool enabled, QString& error) override;

    QString entryPath() const;

    // The entry's text for a session to start programPath.
    static QByteArray entryText(const Entry& entry);
    // A program path as one argument of an Exec= line, quoted and escaped where it needs it.
    static QString execArgument(const QString& path);
    // Whether an autostart entry with this text starts its program: not Hidden and not switched
    // off through X-GNOME-Autostart-enabled, as sessions read them.
    static bool entryStartsProgram(const QByteArray& text);

private:
    QString m_configDir;
    Entry m_entry;
};

// Starting the program with the user's desktop session: the autostart entry or value itself.
#pragma once

#include <QString>

class SessionAutostart {
public:
    SessionAutostart() = default;
    SessionAutostart(const SessionAutostart&) = delete;
    SessionAutostart& operator=(const SessionAutostart&) = delete;
    virtual ~SessionAutostart() = default;

    // Whether this desktop has a way to start programs with the session at all.
    virtual bool available() const = 0;
    // Whether the session will start the program, read afresh from what is there now.
    virtual bool isEnabled() const = 0;
    // Adds or removes the program's entry. False, with the reason in error, when that failed;
    // what was there before is then left as it was.
    virtual bool setEnabled(bool enabled, QString& error) = 0;
};

// Where no way is known: never enabled, and enabling fails.
class NullSessionAutostart final : public SessionAutostart {
public:
    bool available() const override { return false; }
    bool isEnabled() const override { return false; }
    bool setEnabled(bool enabled, QString& error) override;
};

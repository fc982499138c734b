// Fakes of the outside world for tests: each records what it was asked and lets the test answer.
#pragma once

#include "platform/clipboard.h"
#include "platform/filedialogs.h"
#include "platform/keyinjector.h"
#include "platform/messageboxes.h"
#include "platform/sessionautostart.h"
#include "platform/settingsbackend.h"
#include "platform/trayicon.h"
#include "platform/webpages.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <string>
#include <vector>

class RecordingKeyInjector final : public KeyInjector {
public:
    bool sendShiftInsert() override {
        ++shiftInserts;
        return true;
    }
    bool commitText(const std::string& utf8) override {
        if (!commits)
            return false;
        committed.push_back(utf8);
        return true;
    }
    std::string name() const override { return "recording"; }
    int shiftInserts = 0;
    bool commits = false; // answers like an input method that commits text itself
    std::vector<std::string> committed;
};

class FakeClipboard final : public Clipboard {
public:
    Placement placeForPaste(const QString& newText) override {
        if (placement != Placement::Failed)
            text = newText;
        return placement;
    }
    QString text;
    Placement placement = Placement::Kept; // the answer to every placement
};

class MemorySettingsBackend final : public SettingsBackend {
public:
    std::optional<QString> value(const QString& application, const QString& section,
                                 const QString& key) const override {
        const auto it = values.constFind(path(application, section, key));
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
    }
    bool setValue(const QString& application, const QString& section, const QString& key,
                  const QString& value) override {
        if (!writable)
            return false;
        values.insert(path(application, section, key), value);
        writes.append(path(application, section, key) + QLatin1Char('=') + value);
        return true;
    }
    static QString path(const QString& application, const QString& section, const QString& key) {
        return application + QLatin1Char('/') + section + QLatin1Char('/') + key;
    }
    QMap<QString, QString> values; // "application/section/key" -> text
    QStringList writes;            // "application/section/key=value", in order
    bool writable = true;
};

class FakeFileDialogs final : public FileDialogs {
public:
    QString openFileName() override { return next(QStringLiteral("open")); }
    QString saveFileName() override { return next(QStringLiteral("save")); }
    std::deque<QString> answers; // next names to return; empty text cancels
    QStringList shown;           // "open" or "save", in order

private:
    QString next(const QString& kind) {
        shown.append(kind);
        if (answers.empty())
            return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class FakeMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        QString title;
        QString text;
        bool question;
    };
    void inform(const QString& title, const QString& text) override { shown.append({title, text, false}); }
    bool ask(const QString& title, const QString& text) override {
        shown.append({title, text, true});
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    QList<Shown> shown;
    std::deque<bool> answers; // next answers to questions: true is Yes; none left means No
};

class FakeWebPages final : public WebPages {
public:
    bool open(const QUrl& page) override {
        opened.append(page);
        return succeeds;
    }
    QList<QUrl> opened;
    bool succeeds = true;
};

class FakeTrayIcon final : public TrayIcon {
public:
    bool available() const override { return hasNotificationArea; }
    void add(const QIcon&, const QString& newTip) override {
        tip = newTip;
        isShown = hasNotificationArea;
    }
    void remove() override { isShown = false; }
    bool shown() const override { return isShown; }
    void setLeftButtonHandler(std::function<void()> handler) override { leftButton = std::move(handler); }

    // Simulates the left button on the icon.
    void pressLeftButton() {
        if (leftButton)
            leftButton();
    }
    bool hasNotificationArea = true;
    bool isShown = false;
    QString tip;
    std::function<void()> leftButton;
};

class FakeSessionAutostart final : public SessionAutostart {
public:
    bool available() const override { return hasWay; }
    bool isEnabled() const override { return enabled; }
    bool setEnabled(bool wanted, QString& error) override {
        requests.append(wanted);
        if (!failure.isEmpty()) {
            error = failure;
            return false;
        }
        enabled = wanted;
        return true;
    }
    bool hasWay = true;
    bool enabled = false; // what is there now; a test may change it behind the program's back
    QString failure;      // when not empty, setEnabled fails with it
    QList<bool> requests;
};

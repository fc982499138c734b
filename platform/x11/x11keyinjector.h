// Keystroke injection on X11 desktops: XTest Shift+Insert into the focused window.
#pragma once

#include "platform/keyinjector.h"

#include <memory>
#include <optional>
#include <vector>

class X11Display;

class X11KeyInjector final : public KeyInjector {
public:
    explicit X11KeyInjector(std::shared_ptr<X11Display> display);
    ~X11KeyInjector() override;

    // Types the keystroke itself, or hands it to the keyboard hook while the hook's thread owns the
    // connection (the hook then places it among the keys it holds).
    bool sendShiftInsert() override;
    std::string name() const override { return "XTest"; }

    // Shift+Insert as the key events to fake, worked out beforehand from the keys held now, so that
    // sending them needs no round trip. ownShift: press Shift even if one is held, since it may be
    // let go before the Insert arrives.
    struct KeyEvent {
        unsigned keycode;
        bool press;
    };
    static std::optional<std::vector<KeyEvent>> planShiftInsert(X11Display& display, bool ownShift = false);
    // Queues the planned events (not flushed); their presses are expected back as this program's.
    static void send(X11Display& display, const std::vector<KeyEvent>& events);

private:
    std::shared_ptr<X11Display> m_display;
};

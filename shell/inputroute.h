// Options > Input route: whether the keys come from the keyboard hook or from the IBus input method,
// kept as "Options"/"InputMethod". The keyboard backends are chosen once, at start-up, so a change
// takes effect at the next start, and the window says so.
#pragma once

#include <QObject>
#include <functional>

class QAction;
class QMenu;
class SettingsStore;

struct InputRouteControls {
    QMenu* InputRoute;
    QAction* KeyboardHookRoute;
    QAction* InputMethodRoute;
};

class InputRoute : public QObject {
    Q_OBJECT
public:
    // inputMethodInUse: this run's keys come from IBus. choosable: this desktop can take either route
    // (an X11 session of a build with both); elsewhere the menu shows the route in use, greyed.
    InputRoute(const InputRouteControls& controls, SettingsStore& settings, bool inputMethodInUse,
               bool choosable, std::function<void(const QString&)> notice);

    // Checks the stored choice.
    void restore();
    // Whether the stored choice is the input method.
    bool inputMethodChosen() const;

private:
    void choose(bool inputMethod);

    InputRouteControls m_controls;
    SettingsStore& m_settings;
    bool m_inputMethodInUse;
    bool m_choosable;
    std::function<void(const QString&)> m_notice;
};

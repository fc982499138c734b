// Keyval and key-code to virtual-key mapping of the IBus engine.
#include "platform/ibus/ibuskeymapping.h"

#include <QTest>

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

// IBus keyvals are X keysyms; key codes are evdev codes.
namespace Evdev {
constexpr unsigned Key1 = 2, Minus = 12, Q = 16, A = 30, Semicolon = 39, Grave = 41, Backslash = 43,
                   Comma = 51, Slash = 53, Space = 57, Less = 86, Tab = 15, Kp1 = 79, Up = 103,
                   LeftShift = 42, F1 = 59, Unknown = 240;
} // namespace Evdev

class TestIBusKeyMapping : public QObject {
    Q_OBJECT

private slots:
    void virtualKey_data() {
        QTest::addColumn<unsigned>("keyval");
        QTest::addColumn<unsigned>("keyCode");
        QTest::addColumn<int>("virtualKey");
        const auto row = [](const char* tag, unsigned keyval, unsigned code, int virtualKey) {
            QTest::newRow(tag) << keyval << code << virtualKey;
        };
        // Letters and digits are what the layout typed, wherever the key sits (AZERTY's A is on Q).
        row("a", XK_a, Evdev::A, 65);
        row("Shift+a", XK_A, Evdev::A, 65);
        row("AZERTY a on the Q key", XK_a, Evdev::Q, 65);
        row("1", XK_1, Evdev::Key1, 49);
        // Shifted or layout-specific signs report the unshifted US key, as Windows does.
        row("Shift+1 types !", XK_exclam, Evdev::Key1, 49);
        row("Shift+comma types <, still the comma key", XK_less, Evdev::Comma, 188);
        row("the key beside left Shift", XK_less, Evdev::Less, 226);
        row("Shift+minus", XK_underscore, Evdev::Minus, 189);
        row("colon", XK_colon, Evdev::Semicolon, 186);
        row("grave", XK_grave, Evdev::Grave, 192);
        row("backslash", XK_backslash, Evdev::Backslash, 220);
        row("question mark", XK_question, Evdev::Slash, 191);
        row("space", XK_space, Evdev::Space, 32);
        // Letters of other scripts take their position, like the X11 hook.
        row("Cyrillic ef on the A key", XK_Cyrillic_ef, Evdev::A, 65);
        row("Unicode keysym on the Q key", 0x1000153u, Evdev::Q, 81);
        row("a sign at no known position", XK_exclam, Evdev::Unknown, kNoVirtualKey);
        // Keys that type nothing come from the keyval: the ones the engine may swallow above all.
        row("Tab", XK_Tab, Evdev::Tab, 9);
        row("Shift+Tab", XK_ISO_Left_Tab, Evdev::Tab, 9);
        row("left Shift", XK_Shift_L, Evdev::LeftShift, 16);
        row("Up", XK_Up, Evdev::Up, 38);
        row("keypad 1 with NumLock", XK_KP_1, Evdev::Kp1, 97);
        row("keypad End without NumLock", XK_KP_End, Evdev::Kp1, 35);
        row("F1", XK_F1, Evdev::F1, 112);
        row("media key", XF86XK_AudioMute, Evdev::Unknown, 173);
        row("unknown function key", XK_Hyper_L, Evdev::Unknown, kNoVirtualKey);
        row("dead key on the quote key", XK_dead_acute, 40, 222);
    }

    void virtualKey() {
        QFETCH(unsigned, keyval);
        QFETCH(unsigned, keyCode);
        QTEST(virtualKeyForIBus(keyval, keyCode), "virtualKey");
    }
};

QTEST_GUILESS_MAIN(TestIBusKeyMapping)
#include "tst_ibuskeymapping.moc"

// Which keys a hook may swallow, the backends' translators from key events to virtual-key codes, and
// the text keysyms type through compose sequences.
#include "platform/keycodes.h"
#include "platform/x11/x11keymapping.h"
#include "platform/xkb/xkbcompose.h"
#ifdef QUENLO_HAVE_IBUS
#include "platform/ibus/ibuskeymapping.h"
#endif

#include <QTest>

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

using KeySym = unsigned long;

#ifdef QUENLO_HAVE_IBUS
// IBus keyvals are X keysyms; key codes are evdev codes.
namespace Evdev {
constexpr unsigned Key1 = 2, Q = 16, A = 30, Less = 86, Kp1 = 79, Unknown = 240;
} // namespace Evdev
#endif

class TestKeyMapping : public QObject {
    Q_OBJECT

private slots:
    void maySwallowBeforeTheKeysAreTold() {
        // Which keys are grabbed once the completion key and the number keys are told is the X11 hook
        // suite's grabsOnlyWhatMayBeSwallowed; before, either completion key may be, a letter never.
        const int untold = KeyCode::CompletionKeyUntold;
        QVERIFY(KeyCode::maySwallow(KeyCode::Tab, untold, false));
        QVERIFY(KeyCode::maySwallow(KeyCode::Shift, untold, false));
        QVERIFY(!KeyCode::maySwallow('A', untold, true));
    }

    void x11VirtualKey_data() {
        QTest::addColumn<KeySym>("base");
        QTest::addColumn<KeySym>("shifted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("withoutNumLock");
        QTest::addColumn<int>("withNumLock");

        const auto row = [](const char* tag, KeySym base, KeySym shifted, const char* name, int off, int on) {
            QTest::newRow(tag) << base << shifted << QString::fromLatin1(name) << off << on;
        };
        const int none = KeyCode::Unknown;
        // The keys the X11 hook suite types are checked there, by the codes it reports, the keypad's
        // arrows too. Letters, digits and signs come from the unshifted level.
        row("upper-case first level", XK_Q, XK_Q, "AD01", 81, 81);
        row("F24", XK_F24, 0, "FK24", 135, 135);
        row("ISO_Left_Tab first level", XK_ISO_Left_Tab, 0, "", 9, 9);
        row("unknown keysym, unknown place", XF86XK_Launch5, 0, "I199", none, none);
        row("no keysym at all", 0, 0, "", none, none);
        // The keypad follows NumLock, as on Windows.
        row("keypad 5 / Begin", XK_KP_Begin, XK_KP_5, "KP5", 12, 101);
        row("keypad multiply", XK_KP_Multiply, XK_KP_Multiply, "KPMU", 106, 106);
        // Keys that type no Latin letter, digit or known sign are known by where they sit.
        row("Russian ef on A", XK_Cyrillic_ef, XK_Cyrillic_EF, "AC01", 65, 65);
        row("Russian zhe on semicolon", XK_Cyrillic_zhe, XK_Cyrillic_ZHE, "AC10", 186, 186);
        row("French eacute on 2", XK_eacute, XK_2, "AE02", 50, 50);
        row("German less-than key", XK_less, XK_greater, "LSGT", 226, 226);
        // Letters and signs follow the layout, not the position.
        row("German z sits on Y", XK_z, XK_Z, "AD06", 90, 90);
        row("Dvorak apostrophe sits on Q", XK_apostrophe, XK_quotedbl, "AD01", 222, 222);
        row("unknown sign, unknown place", XK_section, 0, "XXXX", none, none);
        row("position past the row", XK_sterling, 0, "AB11", none, none);
    }

    void x11VirtualKey() {
        QFETCH(KeySym, base);
        QFETCH(KeySym, shifted);
        QFETCH(QString, name);
        QFETCH(int, withoutNumLock);
        QFETCH(int, withNumLock);

        const std::string keyName = name.toStdString();
        QCOMPARE(virtualKeyFor({base, shifted, keyName}, false), withoutNumLock);
        QCOMPARE(virtualKeyFor({base, shifted, keyName}, true), withNumLock);
    }

    // Each press of a row in turn: its step (t typed, c composing, = composed, x cancelled) and text.
    void composedText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<std::vector<KeySym>>("keysyms");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("typed");

        const auto row = [](const char* tag, const char* locale, std::vector<KeySym> keysyms,
                            const char* steps, QStringList typed) {
            QTest::newRow(tag) << locale << keysyms << QString::fromLatin1(steps) << typed;
        };
        // The compose key, ß, dead keys and Cyrillic letters are typed in the desktop scenarios' layout
        // rows too.
        const char* us = "en_US.UTF-8";
        // The capital is chosen with Shift inside the sequence.
        row("Shift amid a sequence", "de_DE.UTF-8", {XK_dead_acute, XK_Shift_L, XK_E}, "ct=", {"", "", "É"});
        // The next press after a cancelled sequence starts afresh.
        row("cancelled sequence", us, {XK_Multi_key, XK_apostrophe, XK_x, XK_e}, "ccxt", {"", "", "", "e"});
        row("Return ends a sequence", us, {XK_Multi_key, XK_Return}, "cx", {"", ""});
        row("Greek with a final sigma", "el_GR.UTF-8",
            {XK_Greek_lamda, XK_dead_acute, XK_Greek_omicron, XK_Greek_gamma, XK_Greek_omicron,
             XK_Greek_finalsmallsigma},
            "tc=ttt", {"λ", "", "ό", "γ", "ο", "ς"});
        row("a locale without a table composes as C", "xx_XX.UTF-8", {XK_dead_acute, XK_e}, "c=", {"", "é"});
        row("control characters type no text", us, {XK_Tab, XK_Return, XK_BackSpace, XK_Escape, XK_Delete},
            "ttttt", {"", "", "", "", ""});
        row("keys typing no letter", us, {XK_KP_1, XK_Left}, "tt", {"1", ""});
    }

    void composedText() {
        QFETCH(QString, locale);
        QFETCH(std::vector<KeySym>, keysyms);
        XkbCompose composer(locale.toStdString());
        QString steps;
        QStringList typed;
        for (const KeySym keysym : keysyms) {
            const XkbCompose::Press press = composer.press(keysym);
            steps += QStringLiteral("tc=x").at(static_cast<int>(press.step));
            typed << QString::fromStdString(press.text);
        }
        QTEST(steps, "steps");
        QTEST(typed, "typed");
    }

#ifdef QUENLO_HAVE_IBUS
    void ibusVirtualKey_data() {
        QTest::addColumn<unsigned>("keyval");
        QTest::addColumn<unsigned>("keyCode");
        QTest::addColumn<int>("virtualKey");
        const auto row = [](const char* tag, unsigned keyval, unsigned code, int virtualKey) {
            QTest::newRow(tag) << keyval << code << virtualKey;
        };
        // Letters, digits, Tab and space typed through IBus are the desktop scenarios'; letters are
        // what the layout typed, wherever the key sits (AZERTY's A is on Q).
        row("AZERTY a on the Q key", XK_a, Evdev::Q, 65);
        // Shifted or layout-specific signs report the unshifted US key, as Windows does; each key's
        // code is the translator's table.
        row("Shift+1 types !", XK_exclam, Evdev::Key1, 49);
        row("the key beside left Shift", XK_less, Evdev::Less, 226);
        // Letters of other scripts take their position, like the X11 hook.
        row("Cyrillic ef on the A key", XK_Cyrillic_ef, Evdev::A, 65);
        row("Unicode keysym on the Q key", 0x1000153u, Evdev::Q, 81);
        row("a sign at no known position", XK_exclam, Evdev::Unknown, KeyCode::Unknown);
        // Keys that type nothing come from the keyval: the ones the engine may swallow above all.
        row("keypad 1 with NumLock", XK_KP_1, Evdev::Kp1, 97);
        row("keypad End without NumLock", XK_KP_End, Evdev::Kp1, 35);
        row("media key", XF86XK_AudioMute, Evdev::Unknown, 173);
        row("unknown function key", XK_Hyper_L, Evdev::Unknown, KeyCode::Unknown);
        row("dead key on the quote key", XK_dead_acute, 40, 222);
    }

    void ibusVirtualKey() {
        QFETCH(unsigned, keyval);
        QFETCH(unsigned, keyCode);
        QTEST(virtualKeyForIBus(keyval, keyCode), "virtualKey");
    }
#endif
};

QTEST_GUILESS_MAIN(TestKeyMapping)
#include "tst_keymapping.moc"

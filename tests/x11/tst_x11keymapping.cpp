// Keysym and key-position to virtual-key mapping of the X11 keyboard hook.
#include "platform/x11/x11keymapping.h"

#include <QTest>

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

using KeySym = unsigned long;

class TestX11KeyMapping : public QObject {
    Q_OBJECT

private slots:
    void virtualKey_data() {
        QTest::addColumn<KeySym>("base");
        QTest::addColumn<KeySym>("shifted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("withoutNumLock");
        QTest::addColumn<int>("withNumLock");

        const auto row = [](const char* tag, KeySym base, KeySym shifted, const char* name, int off, int on) {
            QTest::newRow(tag) << base << shifted << QString::fromLatin1(name) << off << on;
        };
        const int none = kNoVirtualKey;
        // Letters, digits and signs come from the unshifted level.
        row("a", XK_a, XK_A, "AC01", 65, 65);
        row("z", XK_z, XK_Z, "AB01", 90, 90);
        row("upper-case first level", XK_Q, XK_Q, "AD01", 81, 81);
        row("digit 0", XK_0, XK_parenright, "AE10", 48, 48);
        row("F1", XK_F1, 0, "FK01", 112, 112);
        row("F24", XK_F24, 0, "FK24", 135, 135);
        row("Tab", XK_Tab, XK_ISO_Left_Tab, "TAB", 9, 9);
        row("ISO_Left_Tab first level", XK_ISO_Left_Tab, 0, "", 9, 9);
        row("Return", XK_Return, 0, "RTRN", 13, 13);
        row("BackSpace", XK_BackSpace, 0, "BKSP", 8, 8);
        row("Escape", XK_Escape, 0, "ESC", 27, 27);
        row("space", XK_space, 0, "SPCE", 32, 32);
        row("Up", XK_Up, 0, "UP", 38, 38);
        row("Down", XK_Down, 0, "DOWN", 40, 40);
        row("Shift_L", XK_Shift_L, 0, "LFSH", 16, 16);
        row("Shift_R", XK_Shift_R, 0, "RTSH", 16, 16);
        row("semicolon", XK_semicolon, XK_colon, "AC10", 186, 186);
        row("unknown keysym, unknown place", XF86XK_Launch5, 0, "I199", none, none);
        row("no keysym at all", 0, 0, "", none, none);
        // The keypad follows NumLock, as on Windows.
        row("keypad 1 / End", XK_KP_End, XK_KP_1, "KP1", 35, 97);
        row("keypad 0 / Insert", XK_KP_Insert, XK_KP_0, "KP0", 45, 96);
        row("keypad 2 / Down", XK_KP_Down, XK_KP_2, "KP2", 40, 98);
        row("keypad 5 / Begin", XK_KP_Begin, XK_KP_5, "KP5", 12, 101);
        row("keypad 8 / Up", XK_KP_Up, XK_KP_8, "KP8", 38, 104);
        row("keypad decimal / Delete", XK_KP_Delete, XK_KP_Decimal, "KPDL", 46, 110);
        row("keypad Enter", XK_KP_Enter, 0, "KPEN", 13, 13);
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

    void virtualKey() {
        QFETCH(KeySym, base);
        QFETCH(KeySym, shifted);
        QFETCH(QString, name);
        QFETCH(int, withoutNumLock);
        QFETCH(int, withNumLock);

        const std::string keyName = name.toStdString();
        QCOMPARE(virtualKeyFor({base, shifted, keyName}, false), withoutNumLock);
        QCOMPARE(virtualKeyFor({base, shifted, keyName}, true), withNumLock);
    }

    void everyAlphanumericPosition() {
        // The whole US block by position alone, as a keyboard with only non-Latin letters gives it.
        const char* const rows[][2] = {
            {"AE", "1234567890"}, {"AD", "QWERTYUIOP"}, {"AC", "ASDFGHJKL"}, {"AB", "ZXCVBNM"}};
        for (const auto& [prefix, keys] : rows) {
            for (int i = 0; keys[i]; ++i)
                QCOMPARE(virtualKeyFromKeyName(QString::asprintf("%s%02d", prefix, i + 1).toStdString()),
                         int(keys[i]));
        }
    }
};

QTEST_GUILESS_MAIN(TestX11KeyMapping)
#include "tst_x11keymapping.moc"

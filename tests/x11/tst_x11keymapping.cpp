// Keysym and key-position to virtual-key mapping of the X11 keyboard hook.
#include "platform/x11/x11keymapping.h"

#include <QTest>

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

class TestX11KeyMapping : public QObject {
    Q_OBJECT

private slots:
    void keyOnUsLayout_data();
    void keyOnUsLayout();
    void keypadFollowsNumLock_data();
    void keypadFollowsNumLock();
    void otherLayouts_data();
    void otherLayouts();
    void everyAlphanumericPosition();
};

using KeySym = unsigned long;

void TestX11KeyMapping::keyOnUsLayout_data() {
    QTest::addColumn<KeySym>("base");
    QTest::addColumn<KeySym>("shifted");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("virtualKey");

    QTest::newRow("letter a is 65") << KeySym(XK_a) << KeySym(XK_A) << "AC01" << 65;
    QTest::newRow("letter z is 90") << KeySym(XK_z) << KeySym(XK_Z) << "AB01" << 90;
    QTest::newRow("upper-case first level") << KeySym(XK_Q) << KeySym(XK_Q) << "AD01" << 81;
    QTest::newRow("digit 0") << KeySym(XK_0) << KeySym(XK_parenright) << "AE10" << 48;
    QTest::newRow("F1 is 112") << KeySym(XK_F1) << KeySym(0) << "FK01" << 112;
    QTest::newRow("F24 is 135") << KeySym(XK_F24) << KeySym(0) << "FK24" << 135;
    QTest::newRow("Tab") << KeySym(XK_Tab) << KeySym(XK_ISO_Left_Tab) << "TAB" << 9;
    QTest::newRow("ISO_Left_Tab first level") << KeySym(XK_ISO_Left_Tab) << KeySym(0) << "" << 9;
    QTest::newRow("Return") << KeySym(XK_Return) << KeySym(0) << "RTRN" << 13;
    QTest::newRow("BackSpace") << KeySym(XK_BackSpace) << KeySym(0) << "BKSP" << 8;
    QTest::newRow("Escape") << KeySym(XK_Escape) << KeySym(0) << "ESC" << 27;
    QTest::newRow("space") << KeySym(XK_space) << KeySym(0) << "SPCE" << 32;
    QTest::newRow("Up") << KeySym(XK_Up) << KeySym(0) << "UP" << 38;
    QTest::newRow("Down") << KeySym(XK_Down) << KeySym(0) << "DOWN" << 40;
    QTest::newRow("Shift_L") << KeySym(XK_Shift_L) << KeySym(0) << "LFSH" << 16;
    QTest::newRow("Shift_R") << KeySym(XK_Shift_R) << KeySym(0) << "RTSH" << 16;
    QTest::newRow("Insert") << KeySym(XK_Insert) << KeySym(0) << "INS" << 45;
    QTest::newRow("semicolon") << KeySym(XK_semicolon) << KeySym(XK_colon) << "AC10" << 186;
    QTest::newRow("bracketleft") << KeySym(XK_bracketleft) << KeySym(XK_braceleft) << "AD11" << 219;
    QTest::newRow("apostrophe") << KeySym(XK_apostrophe) << KeySym(XK_quotedbl) << "AC11" << 222;
    QTest::newRow("volume up") << KeySym(XF86XK_AudioRaiseVolume) << KeySym(0) << "VOL+" << 175;
    QTest::newRow("unknown keysym, unknown place")
        << KeySym(XF86XK_Launch5) << KeySym(0) << "I199" << kNoVirtualKey;
    QTest::newRow("no keysym at all") << KeySym(0) << KeySym(0) << "" << kNoVirtualKey;
}

void TestX11KeyMapping::keyOnUsLayout() {
    QFETCH(KeySym, base);
    QFETCH(KeySym, shifted);
    QFETCH(QString, name);
    QFETCH(int, virtualKey);

    const std::string keyName = name.toStdString();
    for (const bool numLock : {false, true}) {
        QCOMPARE(virtualKeyFor({base, shifted, keyName}, numLock), virtualKey);
    }
}

void TestX11KeyMapping::keypadFollowsNumLock_data() {
    QTest::addColumn<KeySym>("base");
    QTest::addColumn<KeySym>("shifted");
    QTest::addColumn<int>("withoutNumLock");
    QTest::addColumn<int>("withNumLock");

    QTest::newRow("keypad 1 / End") << KeySym(XK_KP_End) << KeySym(XK_KP_1) << 35 << 97;
    QTest::newRow("keypad 0 / Insert") << KeySym(XK_KP_Insert) << KeySym(XK_KP_0) << 45 << 96;
    QTest::newRow("keypad 2 / Down") << KeySym(XK_KP_Down) << KeySym(XK_KP_2) << 40 << 98;
    QTest::newRow("keypad 5 / Begin") << KeySym(XK_KP_Begin) << KeySym(XK_KP_5) << 12 << 101;
    QTest::newRow("keypad 8 / Up") << KeySym(XK_KP_Up) << KeySym(XK_KP_8) << 38 << 104;
    QTest::newRow("keypad 9 / Page Up") << KeySym(XK_KP_Prior) << KeySym(XK_KP_9) << 33 << 105;
    QTest::newRow("keypad decimal / Delete") << KeySym(XK_KP_Delete) << KeySym(XK_KP_Decimal) << 46 << 110;
    QTest::newRow("keypad Enter") << KeySym(XK_KP_Enter) << KeySym(0) << 13 << 13;
    QTest::newRow("keypad multiply") << KeySym(XK_KP_Multiply) << KeySym(XK_KP_Multiply) << 106 << 106;
    QTest::newRow("keypad add") << KeySym(XK_KP_Add) << KeySym(XK_KP_Add) << 107 << 107;
    QTest::newRow("keypad subtract") << KeySym(XK_KP_Subtract) << KeySym(XK_KP_Subtract) << 109 << 109;
    QTest::newRow("keypad divide") << KeySym(XK_KP_Divide) << KeySym(XK_KP_Divide) << 111 << 111;
}

void TestX11KeyMapping::keypadFollowsNumLock() {
    QFETCH(KeySym, base);
    QFETCH(KeySym, shifted);
    QFETCH(int, withoutNumLock);
    QFETCH(int, withNumLock);

    QCOMPARE(virtualKeyFor({base, shifted, "KP"}, false), withoutNumLock);
    QCOMPARE(virtualKeyFor({base, shifted, "KP"}, true), withNumLock);
}

void TestX11KeyMapping::otherLayouts_data() {
    QTest::addColumn<KeySym>("base");
    QTest::addColumn<KeySym>("shifted");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("virtualKey");

    // Keys that type no Latin letter, digit or known sign are known by where they sit.
    QTest::newRow("Russian ef on A") << KeySym(XK_Cyrillic_ef) << KeySym(XK_Cyrillic_EF) << "AC01" << 65;
    QTest::newRow("Russian ya on Z") << KeySym(XK_Cyrillic_ya) << KeySym(XK_Cyrillic_YA) << "AB01" << 90;
    QTest::newRow("Russian zhe on semicolon")
        << KeySym(XK_Cyrillic_zhe) << KeySym(XK_Cyrillic_ZHE) << "AC10" << 186;
    QTest::newRow("Greek alpha on A") << KeySym(XK_Greek_alpha) << KeySym(XK_Greek_ALPHA) << "AC01" << 65;
    QTest::newRow("French ampersand on 1") << KeySym(XK_ampersand) << KeySym(XK_1) << "AE01" << 49;
    QTest::newRow("French eacute on 2") << KeySym(XK_eacute) << KeySym(XK_2) << "AE02" << 50;
    QTest::newRow("German o umlaut") << KeySym(XK_odiaeresis) << KeySym(XK_Odiaeresis) << "AC10" << 186;
    QTest::newRow("German less-than key") << KeySym(XK_less) << KeySym(XK_greater) << "LSGT" << 226;
    // Letters follow the layout, not the position, as on Windows.
    QTest::newRow("French a sits on Q") << KeySym(XK_a) << KeySym(XK_A) << "AD01" << 65;
    QTest::newRow("German z sits on Y") << KeySym(XK_z) << KeySym(XK_Z) << "AD06" << 90;
    QTest::newRow("Dvorak apostrophe sits on Q")
        << KeySym(XK_apostrophe) << KeySym(XK_quotedbl) << "AD01" << 222;
    QTest::newRow("unknown sign, unknown place")
        << KeySym(XK_section) << KeySym(0) << "XXXX" << kNoVirtualKey;
    QTest::newRow("position past the row") << KeySym(XK_sterling) << KeySym(0) << "AB11" << kNoVirtualKey;
}

void TestX11KeyMapping::otherLayouts() {
    QFETCH(KeySym, base);
    QFETCH(KeySym, shifted);
    QFETCH(QString, name);
    QFETCH(int, virtualKey);

    const std::string keyName = name.toStdString();
    QCOMPARE(virtualKeyFor({base, shifted, keyName}, false), virtualKey);
}

void TestX11KeyMapping::everyAlphanumericPosition() {
    // The whole US block by position alone, as a keyboard with only non-Latin letters gives it.
    const char* const rows[][2] = {
        {"AE", "1234567890"}, {"AD", "QWERTYUIOP"}, {"AC", "ASDFGHJKL"}, {"AB", "ZXCVBNM"}};
    for (const auto& row : rows) {
        const std::string keys = row[1];
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string name =
                std::string(row[0]) + char('0' + (i + 1) / 10) + char('0' + (i + 1) % 10);
            QCOMPARE(virtualKeyFromKeyName(name), int(keys[i]));
        }
    }
}

QTEST_GUILESS_MAIN(TestX11KeyMapping)
#include "tst_x11keymapping.moc"

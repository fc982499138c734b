// Keysym and key-position tables for the X11 keyboard hook.
#include "x11keymapping.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include <utility>

namespace {

bool isKeypadKeysym(unsigned long keysym) {
    return keysym >= XK_KP_Space && keysym <= XK_KP_Equal;
}

// Keypad keysyms whose meaning NumLock switches on: the digits and the decimal key.
bool isKeypadNumber(unsigned long keysym) {
    return (keysym >= XK_KP_0 && keysym <= XK_KP_9) || keysym == XK_KP_Decimal || keysym == XK_KP_Separator;
}

int keypadVirtualKey(unsigned long keysym) {
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return 96 + static_cast<int>(keysym - XK_KP_0);
    if (keysym >= XK_KP_F1 && keysym <= XK_KP_F4)
        return 112 + static_cast<int>(keysym - XK_KP_F1);
    switch (keysym) {
    case XK_KP_Space:
        return 32;
    case XK_KP_Tab:
        return 9;
    case XK_KP_Enter:
        return 13;
    case XK_KP_Home:
        return 36;
    case XK_KP_Left:
        return 37;
    case XK_KP_Up:
        return 38;
    case XK_KP_Right:
        return 39;
    case XK_KP_Down:
        return 40;
    case XK_KP_Prior:
        return 33;
    case XK_KP_Next:
        return 34;
    case XK_KP_End:
        return 35;
    case XK_KP_Begin:
        return 12;
    case XK_KP_Insert:
        return 45;
    case XK_KP_Delete:
        return 46;
    case XK_KP_Multiply:
        return 106;
    case XK_KP_Add:
        return 107;
    case XK_KP_Separator:
        return 108;
    case XK_KP_Subtract:
        return 109;
    case XK_KP_Decimal:
        return 110;
    case XK_KP_Divide:
        return 111;
    default:
        return 0;
    }
}

} // namespace

int virtualKeyFromKeysym(unsigned long keysym) {
    if (keysym >= XK_a && keysym <= XK_z)
        return 65 + static_cast<int>(keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z)
        return 65 + static_cast<int>(keysym - XK_A);
    if (keysym >= XK_0 && keysym <= XK_9)
        return 48 + static_cast<int>(keysym - XK_0);
    if (keysym >= XK_F1 && keysym <= XK_F24)
        return 112 + static_cast<int>(keysym - XK_F1);
    if (isKeypadKeysym(keysym))
        return keypadVirtualKey(keysym);

    static constexpr std::pair<unsigned long, int> table[] = {
        {XK_BackSpace, 8},
        {XK_Tab, 9},
        {XK_ISO_Left_Tab, 9},
        {XK_Clear, 12},
        {XK_Return, 13},
        {XK_Linefeed, 13},
        {XK_Shift_L, 16},
        {XK_Shift_R, 16},
        {XK_Control_L, 17},
        {XK_Control_R, 17},
        {XK_Alt_L, 18},
        {XK_Alt_R, 18},
        {XK_Meta_L, 18},
        {XK_Meta_R, 18},
        {XK_ISO_Level3_Shift, 18},
        {XK_Mode_switch, 18},
        {XK_Pause, 19},
        {XK_Caps_Lock, 20},
        {XK_Escape, 27},
        {XK_space, 32},
        {XK_Prior, 33},
        {XK_Next, 34},
        {XK_End, 35},
        {XK_Home, 36},
        {XK_Left, 37},
        {XK_Up, 38},
        {XK_Right, 39},
        {XK_Down, 40},
        {XK_Select, 41},
        {XK_Print, 44},
        {XK_Sys_Req, 44},
        {XK_Execute, 43},
        {XK_Insert, 45},
        {XK_Delete, 46},
        {XK_Help, 47},
        {XK_Begin, 12},
        {XK_Break, 3},
        {XK_Cancel, 3},
        {XK_Super_L, 91},
        {XK_Super_R, 92},
        {XK_Menu, 93},
        {XK_Num_Lock, 144},
        {XK_Scroll_Lock, 145},
        {XK_semicolon, 186},
        {XK_equal, 187},
        {XK_comma, 188},
        {XK_minus, 189},
        {XK_period, 190},
        {XK_slash, 191},
        {XK_grave, 192},
        {XK_bracketleft, 219},
        {XK_backslash, 220},
        {XK_bracketright, 221},
        {XK_apostrophe, 222},
        {XK_less, 226},
        {XF86XK_Back, 166},
        {XF86XK_Forward, 167},
        {XF86XK_Refresh, 168},
        {XF86XK_Stop, 169},
        {XF86XK_Search, 170},
        {XF86XK_Favorites, 171},
        {XF86XK_HomePage, 172},
        {XF86XK_AudioMute, 173},
        {XF86XK_AudioLowerVolume, 174},
        {XF86XK_AudioRaiseVolume, 175},
        {XF86XK_AudioNext, 176},
        {XF86XK_AudioPrev, 177},
        {XF86XK_AudioStop, 178},
        {XF86XK_AudioPlay, 179},
        {XF86XK_Mail, 180},
        {XF86XK_AudioMedia, 181},
        {XF86XK_Calculator, 183},
        {XF86XK_Sleep, 95},
    };
    for (const auto& [sym, virtualKey] : table) {
        if (sym == keysym)
            return virtualKey;
    }
    return 0;
}

int virtualKeyFromKeyName(std::string_view name) {
    // The alphanumeric block of a US keyboard, row by row: the virtual key each position carries there.
    struct Row {
        std::string_view prefix;
        std::string_view keys; // one character per position, from 01 on
    };
    static constexpr Row rows[] = {
        {"AE", "1234567890-="},
        {"AD", "QWERTYUIOP[]"},
        {"AC", "ASDFGHJKL;'\\"},
        {"AB", "ZXCVBNM,./"},
    };
    static constexpr std::pair<char, int> punctuation[] = {
        {';', 186}, {'=', 187}, {',', 188},  {'-', 189}, {'.', 190},  {'/', 191},
        {'`', 192}, {'[', 219}, {'\\', 220}, {']', 221}, {'\'', 222},
    };

    if (name == "TLDE")
        return 192;
    if (name == "BKSL")
        return 220;
    if (name == "LSGT")
        return 226;
    if (name == "SPCE")
        return 32;
    if (name.size() != 4)
        return 0;
    for (const Row& row : rows) {
        if (name.substr(0, 2) != row.prefix)
            continue;
        const char tens = name[2];
        const char units = name[3];
        if (tens < '0' || tens > '9' || units < '0' || units > '9')
            return 0;
        const int position = (tens - '0') * 10 + (units - '0');
        if (position < 1 || position > static_cast<int>(row.keys.size()))
            return 0;
        const char key = row.keys[static_cast<std::size_t>(position - 1)];
        if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
            return key;
        for (const auto& [sign, virtualKey] : punctuation) {
            if (sign == key)
                return virtualKey;
        }
        return 0;
    }
    return 0;
}

int virtualKeyFor(const X11KeyDescription& key, bool numLock) {
    if (isKeypadKeysym(key.baseKeysym) || isKeypadKeysym(key.shiftedKeysym)) {
        // NumLock turns the keypad's second level on: KP_End/KP_1 is End without it, keypad 1 with it.
        if (numLock && isKeypadNumber(key.shiftedKeysym))
            return keypadVirtualKey(key.shiftedKeysym);
        if (const int virtualKey = virtualKeyFromKeysym(key.baseKeysym))
            return virtualKey;
    }
    if (const int virtualKey = virtualKeyFromKeysym(key.baseKeysym))
        return virtualKey;
    if (const int virtualKey = virtualKeyFromKeyName(key.name))
        return virtualKey;
    return KeyCode::Unknown;
}

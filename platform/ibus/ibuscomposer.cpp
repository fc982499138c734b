// The IBus engine's composing, over libxkbcommon's compose tables.
#include "ibuscomposer.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdlib>

namespace {

// As libxkbcommon advises: the locale of the character type, from the environment.
std::string localeFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "C";
}

// Control characters (Return, Tab, BackSpace, Escape, Delete) type no text.
std::string textOf(xkb_keysym_t keysym) {
    const std::uint32_t character = xkb_keysym_to_utf32(keysym);
    if (character < 0x20 || character == 0x7f)
        return {};
    char utf8[8] = {};
    const int size = xkb_keysym_to_utf8(keysym, utf8, sizeof utf8);
    return size > 1 ? std::string(utf8, static_cast<std::size_t>(size - 1)) : std::string();
}

} // namespace

struct IBusComposer::Tables {
    xkb_context* context = nullptr;
    xkb_compose_table* table = nullptr;
    xkb_compose_state* state = nullptr;

    ~Tables() {
        xkb_compose_state_unref(state);
        xkb_compose_table_unref(table);
        xkb_context_unref(context);
    }
};

IBusComposer::IBusComposer(std::string locale)
    : m_tables(std::make_unique<Tables>()) {
    Tables& tables = *m_tables;
    tables.context = xkb_context_new(
        static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!tables.context)
        return;
    // A locale without a table of its own falls back to the generic one without a word on the terminal.
    xkb_context_set_log_level(tables.context, XKB_LOG_LEVEL_CRITICAL);
    for (const std::string& name : {locale.empty() ? localeFromEnvironment() : locale, std::string("C")}) {
        tables.table =
            xkb_compose_table_new_from_locale(tables.context, name.c_str(), XKB_COMPOSE_COMPILE_NO_FLAGS);
        if (tables.table)
            break;
    }
    if (tables.table)
        tables.state = xkb_compose_state_new(tables.table, XKB_COMPOSE_STATE_NO_FLAGS);
}

IBusComposer::~IBusComposer() = default;

IBusComposer::Typed IBusComposer::press(unsigned keysym, bool shortcut) {
    Typed typed;
    xkb_compose_state* state = m_tables->state;
    if (shortcut) {
        reset();
        return typed;
    }
    // Shift and its kind are ignored: they pick the keys of a sequence and leave it going.
    if (!state || xkb_compose_state_feed(state, keysym) == XKB_COMPOSE_FEED_IGNORED) {
        typed.text = textOf(keysym);
        return typed;
    }
    switch (xkb_compose_state_get_status(state)) {
    case XKB_COMPOSE_COMPOSING:
        typed.held = true;
        return typed;
    case XKB_COMPOSE_COMPOSED: {
        char utf8[64] = {};
        const int size = xkb_compose_state_get_utf8(state, utf8, sizeof utf8);
        typed.composed = true;
        if (size > 0 && static_cast<std::size_t>(size) < sizeof utf8)
            typed.text.assign(utf8, static_cast<std::size_t>(size));
        else
            typed.text = textOf(xkb_compose_state_get_one_sym(state));
        xkb_compose_state_reset(state);
        return typed;
    }
    case XKB_COMPOSE_CANCELLED:
        // A key that does not go on with the sequence drops it and is typed as after none, as Qt's own
        // composing does: no key is lost, and a dead key may begin a sequence of its own.
        xkb_compose_state_reset(state);
        return press(keysym, false);
    case XKB_COMPOSE_NOTHING:
        break;
    }
    typed.text = textOf(keysym);
    return typed;
}

void IBusComposer::reset() {
    if (m_tables->state)
        xkb_compose_state_reset(m_tables->state);
}

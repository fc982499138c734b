// Compose sequences over libxkbcommon.
#include "xkbcompose.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdint>
#include <cstdlib>

struct XkbCompose::Tables {
    xkb_context* context = nullptr;
    xkb_compose_table* table = nullptr;
    xkb_compose_state* state = nullptr;

    ~Tables() {
        xkb_compose_state_unref(state);
        xkb_compose_table_unref(table);
        xkb_context_unref(context);
    }
};

XkbCompose::XkbCompose(const std::string& locale)
    : m_tables(std::make_unique<Tables>()) {
    Tables& tables = *m_tables;
    tables.context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
    if (!tables.context)
        return;
    // A locale without a table is common and handled below: not worth a line on stderr at every start.
    xkb_context_set_log_level(tables.context, XKB_LOG_LEVEL_CRITICAL);
    tables.table =
        xkb_compose_table_new_from_locale(tables.context, locale.c_str(), XKB_COMPOSE_COMPILE_NO_FLAGS);
    if (!tables.table && locale != "C")
        tables.table = xkb_compose_table_new_from_locale(tables.context, "C", XKB_COMPOSE_COMPILE_NO_FLAGS);
    if (tables.table)
        tables.state = xkb_compose_state_new(tables.table, XKB_COMPOSE_STATE_NO_FLAGS);
}

XkbCompose::~XkbCompose() = default;

std::string XkbCompose::localeOfEnvironment() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "C";
}

std::string XkbCompose::textOf(unsigned long keysym) {
    const auto sym = static_cast<xkb_keysym_t>(keysym);
    const std::uint32_t character = xkb_keysym_to_utf32(sym);
    if (character < 0x20 || character == 0x7f)
        return {};
    std::array<char, 8> text{};
    // The count includes the terminating NUL; 0 for a keysym without a character.
    const int written = xkb_keysym_to_utf8(sym, text.data(), text.size());
    return written > 1 ? std::string(text.data(), static_cast<std::size_t>(written - 1)) : std::string();
}

XkbCompose::Press XkbCompose::press(unsigned long keysym) {
    xkb_compose_state* state = m_tables->state;
    if (!state ||
        xkb_compose_state_feed(state, static_cast<xkb_keysym_t>(keysym)) == XKB_COMPOSE_FEED_IGNORED)
        return {Step::Typed, textOf(keysym)};
    switch (xkb_compose_state_get_status(state)) {
    case XKB_COMPOSE_NOTHING:
        break;
    case XKB_COMPOSE_COMPOSING:
        return {Step::Composing, {}};
    case XKB_COMPOSE_COMPOSED: {
        Press composed{Step::Composed, {}};
        const int length = xkb_compose_state_get_utf8(state, nullptr, 0);
        if (length > 0) {
            composed.text.assign(static_cast<std::size_t>(length) + 1, '\0');
            xkb_compose_state_get_utf8(state, composed.text.data(), composed.text.size());
            composed.text.resize(static_cast<std::size_t>(length));
        } else {
            composed.text = textOf(xkb_compose_state_get_one_sym(state));
        }
        xkb_compose_state_reset(state);
        return composed;
    }
    case XKB_COMPOSE_CANCELLED:
        xkb_compose_state_reset(state);
        return {Step::Cancelled, {}};
    }
    return {Step::Typed, textOf(keysym)};
}

void XkbCompose::reset() {
    if (m_tables->state)
        xkb_compose_state_reset(m_tables->state);
}

// IBus keyboard hook: libibus on a GLib main context and thread of its own, so that the answer to a
// key press never waits on a busy UI thread longer than the watchdog allows.
#include "ibuskeyboardhook.h"

#include "ibuskeydecisions.h"
#include "ibuskeymapping.h"
#include "version.h"

// Before Qt, whose "signals" keyword would rename a member of GLib's D-Bus structures.
#include <ibus.h>

#include "platform/keycodes.h" // brings Qt in as well
#include "platform/xkb/xkbcompose.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace {

constexpr const char* componentName = "org.freedesktop.IBus.Quenlo";
constexpr const char* engineName = "quenlo";
constexpr const char* selectStep =
    "the input source \"Quenlo\" is not selected; add it under Settings > Keyboard > Input Sources "
    "(+, then Quenlo) and switch to it with Super+Space";

// Presses closer than this come from a program: in such a burst the engine types text keys itself (see
// IBusFields). People leave more between keys, rollover included, and keep their keys as typed.
constexpr std::chrono::milliseconds burstGap{8};
// A pause this long ends a burst, and its text goes out; shorter ones are a busy desktop's hiccups.
constexpr std::chrono::milliseconds burstPause{100};
// How long a commit keeps behind the last key passed back where no report of it is due: time for the
// application to take it from its event queue, where it went behind the keys before it.
constexpr std::chrono::milliseconds passedKeySettle{50};
// How long a commit waits at most for the field's report of the text typed last (IBusFields): a busy
// desktop takes its time, and text that changed nothing brings no report.
constexpr std::chrono::milliseconds reportBound{250};
// Modifiers that make a press a shortcut rather than text.
constexpr guint shortcutModifiers =
    IBUS_CONTROL_MASK | IBUS_MOD1_MASK | IBUS_MOD4_MASK | IBUS_SUPER_MASK | IBUS_HYPER_MASK | IBUS_META_MASK;

// What a press types in a field. IBus's GTK 3 module (in its default asynchronous mode) and Qt's IBus
// input context compose nothing of what an engine lets through, so the engine composes itself. A
// shortcut types nothing and ends a sequence begun. A key that does not go on with a sequence drops it
// and is typed as after none, as Qt's own composing does: no key is lost, and a dead key may begin a
// sequence of its own.
XkbCompose::Press composedPress(XkbCompose& composer, guint keyval, bool shortcut) {
    if (shortcut) {
        composer.reset();
        return {};
    }
    const XkbCompose::Press press = composer.press(keyval);
    return press.step == XkbCompose::Step::Cancelled ? composer.press(keyval) : press;
}

// Password and PIN fields, and fields that ask for privacy: what is typed there is never looked at.
bool isPrivateField(guint purpose, guint hints) {
    return purpose == IBUS_INPUT_PURPOSE_PASSWORD || purpose == IBUS_INPUT_PURPOSE_PIN ||
           (hints & IBUS_INPUT_HINT_PRIVATE);
}

bool isPrivateField(IBusEngine* engine) {
    guint purpose = 0;
    guint hints = 0;
    ibus_engine_get_content_type(engine, &purpose, &hints);
    return isPrivateField(purpose, hints);
}

IBusFields::Context contextOf(IBusEngine* engine) {
    return reinterpret_cast<IBusFields::Context>(engine);
}

IBusFields::KeyKind kindOf(guint keyval, const std::string& text) {
    if (!text.empty())
        return IBusFields::KeyKind::Text;
    if ((keyval >= IBUS_KEY_Shift_L && keyval <= IBUS_KEY_Hyper_R) ||
        (keyval >= IBUS_KEY_ISO_Lock && keyval <= IBUS_KEY_ISO_Level5_Lock) ||
        keyval == IBUS_KEY_Mode_switch || keyval == IBUS_KEY_Num_Lock)
        return IBusFields::KeyKind::Modifier;
    if ((keyval >= IBUS_KEY_dead_grave && keyval <= IBUS_KEY_dead_greek) || keyval == IBUS_KEY_Multi_key)
        return IBusFields::KeyKind::Compose;
    return IBusFields::KeyKind::Other;
}

} // namespace

struct IBusKeyboardHook::State : std::enable_shared_from_this<IBusKeyboardHook::State> {
    std::chrono::milliseconds watchdog;
    bool selected = false; // known to be the selected input source
    IBusKeyDecisions decisions;
    std::atomic<int> completionKey{KeyCode::CompletionKeyUntold};          // set by the UI thread
    std::atomic<bool> numberKeys{false};                                   // set by the UI thread
    IBusFields fields{burstGap, burstPause, passedKeySettle, reportBound}; // engine thread only
    // Shared with the bus's thread, which may still run the filter that feeds it after the hook is gone.
    std::shared_ptr<IBusFieldReports> reports = std::make_shared<IBusFieldReports>();
    QObject uiThread; // posted presses run in the thread that made the hook
    KeyHandler handler;
    std::string pressText; // while the handler runs

    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    GThread* thread = nullptr;
    // Engine thread only.
    IBusBus* bus = nullptr;
    IBusFactory* factory = nullptr;
    GDBusConnection* filtered = nullptr; // the connection the report filter is on, held
    guint reportFilter = 0;
    unsigned engineCount = 0;
    IBusEngine* focused = nullptr; // the engine of the field that has the focus
    std::unique_ptr<XkbCompose> composer;
    IBusEngine* composingIn = nullptr; // the engine whose keys the composer has seen last
    GSource* burstEnd = nullptr;       // commits the text held for a burst once it pauses

    // The first connection attempt, reported to start().
    std::mutex startMutex;
    std::condition_variable startDone;
    bool attempted = false;
    std::string startProblem;

    ~State();
    void run();
    void offerEngine();
    IBusEngine* createEngine(const gchar* name);
    gboolean processKey(IBusEngine* engine, guint keyval, guint keycode, guint modifiers);
    void listenForReports(GDBusConnection* connection);
    void commit(IBusEngine* engine, const std::string& text);
    // Commits the text held for the engine's field.
    void flush(IBusEngine* engine);
    void awaitBurstEnd();
    // A sequence begun in the engine's field is dropped.
    void stopComposing(IBusEngine* engine);
    void deliver(std::uint64_t press, int virtualKey, std::string text);
    // From any thread: the lookup table the focused field shows next; no words hides it.
    void publish(std::vector<std::string> words, int selectedRow);
};

IBusKeyboardHook::State::~State() {
    if (loop)
        g_main_loop_unref(loop);
    if (context)
        g_main_context_unref(context);
}

IBusKeyboardHook::IBusKeyboardHook(int decisionWatchdogMs, bool selected)
    : m_state(std::make_shared<State>()) {
    m_state->watchdog = std::chrono::milliseconds(decisionWatchdogMs);
    m_state->selected = selected;
}

IBusKeyboardHook::~IBusKeyboardHook() {
    State& state = *m_state;
    if (!state.thread)
        return;
    // The engine thread owns every IBus object; it lets them go when its loop ends.
    g_main_context_invoke(
        state.context,
        [](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        state.loop);
    g_thread_join(state.thread);
}

bool IBusKeyboardHook::start(KeyHandler handler, std::string& error) {
    State& state = *m_state;
    state.handler = std::move(handler);
    if (!state.thread) {
        state.context = g_main_context_new();
        state.loop = g_main_loop_new(state.context, FALSE);
        state.thread = g_thread_new(
            "quenlo-ibus",
            [](gpointer data) -> gpointer {
                static_cast<State*>(data)->run();
                return nullptr;
            },
            &state);
    }
    // Bounded: start-up goes on, and the engine connects later, if the daemon does not answer.
    std::unique_lock lock(state.startMutex);
    if (!state.startDone.wait_for(lock, std::chrono::seconds(5), [&state] { return state.attempted; }))
        error = "IBus did not answer within 5 seconds";
    else
        error = state.startProblem;
    return true;
}

std::string IBusKeyboardHook::pressText() const {
    return m_state->pressText;
}

void IBusKeyboardHook::setPopupVisible(bool visible) {
    m_state->decisions.setPopupVisible(visible);
    if (!visible)
        m_state->publish({}, -1);
}

void IBusKeyboardHook::setCompletionKey(int keyCode) {
    m_state->completionKey = keyCode;
}

void IBusKeyboardHook::setNumberKeys(bool on) {
    m_state->numberKeys = on;
}

void IBusKeyboardHook::showSuggestions(const std::vector<std::string>& words, int selectedRow) {
    m_state->publish(words, selectedRow);
}

void IBusKeyboardHook::State::publish(std::vector<std::string> words, int selectedRow) {
    if (!thread)
        return;
    struct Table {
        State* state;
        std::vector<std::string> words;
        int selectedRow;
        bool numbered; // the rows the digits pick carry their digit as their label
    };
    g_main_context_invoke_full(
        context, G_PRIORITY_DEFAULT,
        [](gpointer data) {
            const auto* table = static_cast<const Table*>(data);
            IBusEngine* engine = table->state->focused;
            if (!engine)
                return G_SOURCE_REMOVE;
            if (table->words.empty()) {
                ibus_engine_hide_lookup_table(engine);
                return G_SOURCE_REMOVE;
            }
            IBusLookupTable* lookup =
                ibus_lookup_table_new(static_cast<guint>(table->words.size()), 0, TRUE, FALSE);
            for (const std::string& word : table->words)
                ibus_lookup_table_append_candidate(lookup, ibus_text_new_from_string(word.c_str()));
            // Panels number the rows that have no label themselves ("1.", "2.", ... "0.", "a."): a row that
            // no digit picks gets a blank one.
            for (std::size_t row = 0; row < table->words.size(); ++row) {
                const int digit = KeyCode::FirstRowDigit + static_cast<int>(row);
                const bool picked = table->numbered && digit <= KeyCode::LastRowDigit;
                const char label[] = {picked ? static_cast<char>(digit) : ' ', '\0'};
                ibus_lookup_table_append_label(lookup, ibus_text_new_from_string(label));
            }
            if (table->selectedRow >= 0)
                ibus_lookup_table_set_cursor_pos(lookup, static_cast<guint>(table->selectedRow));
            ibus_engine_update_lookup_table(engine, lookup, TRUE);
            return G_SOURCE_REMOVE;
        },
        new Table{this, std::move(words), selectedRow, numberKeys},
        [](gpointer data) { delete static_cast<Table*>(data); });
}

void IBusKeyboardHook::State::run() {
    g_main_context_push_thread_default(context);
    ibus_init();
    bus = ibus_bus_new();
    std::string problem;
    if (ibus_bus_is_connected(bus)) {
        offerEngine();
        IBusEngineDesc* global = selected ? nullptr : ibus_bus_get_global_engine(bus);
        if (!selected && (!global || g_strcmp0(ibus_engine_desc_get_name(global), engineName) != 0))
            problem = selectStep;
        if (global)
            g_object_unref(global);
    } else {
        problem = "IBus is not running; start it (ibus-daemon --xim -d) or sign in to a desktop that runs it";
    }
    // A daemon that starts or restarts later gets the engine offered again.
    g_signal_connect_swapped(bus, "connected", G_CALLBACK(+[](State* state) { state->offerEngine(); }), this);
    {
        std::lock_guard lock(startMutex);
        attempted = true;
        startProblem = problem;
    }
    startDone.notify_all();
    // Its tables take a while to read, which start-up need not wait for: no key comes before the loop runs.
    composer = std::make_unique<XkbCompose>(XkbCompose::localeOfEnvironment());

    g_main_loop_run(loop);

    if (burstEnd) {
        g_source_destroy(burstEnd);
        g_source_unref(burstEnd);
    }
    if (factory)
        g_object_unref(factory);
    listenForReports(nullptr);
    g_signal_handlers_disconnect_by_data(bus, this);
    g_object_unref(bus);
    g_main_context_pop_thread_default(context);
}

void IBusKeyboardHook::State::offerEngine() {
    GDBusConnection* connection = ibus_bus_get_connection(bus);
    if (!connection)
        return;
    if (factory)
        g_object_unref(factory);
    listenForReports(connection);
    factory = ibus_factory_new(connection);
    g_signal_connect_swapped(
        factory, "create-engine",
        G_CALLBACK(+[](State* state, const gchar* name) { return state->createEngine(name); }), this);
    // Installed, the component names this process as its factory; run from a build folder, the daemon
    // does not know the engine yet, and is told at run time.
    const gchar* const names[] = {engineName, nullptr};
    IBusEngineDesc** known = ibus_bus_get_engines_by_names(bus, names);
    const bool installed = known && known[0];
    for (IBusEngineDesc** desc = known; desc && *desc; ++desc)
        g_object_unref(*desc);
    g_free(known);
    if (!installed) {
        IBusComponent* component =
            ibus_component_new(componentName, "Word completion", QUENLO_VERSION, "", "", "", "", "");
        ibus_component_add_engine(component, ibus_engine_desc_new(engineName, "Quenlo", "Word completion",
                                                                  "en", "", "", "", "default"));
        ibus_bus_register_component(bus, component);
        g_object_unref(component);
    }
    ibus_bus_request_name(bus, componentName, 0);
}

IBusEngine* IBusKeyboardHook::State::createEngine(const gchar* name) {
    if (g_strcmp0(name, engineName) != 0)
        return nullptr;
    const std::string path = "/org/freedesktop/IBus/Engine/Quenlo/" + std::to_string(++engineCount);
    IBusEngine* engine =
        ibus_engine_new_with_type(IBUS_TYPE_ENGINE, name, path.c_str(), ibus_bus_get_connection(bus));
    g_signal_connect_swapped(
        engine, "process-key-event",
        G_CALLBACK(+[](State* state, guint keyval, guint keycode, guint modifiers, IBusEngine* self) {
            return state->processKey(self, keyval, keycode, modifiers);
        }),
        this);
    fields.created(contextOf(engine));
    reports->track(path, contextOf(engine));
    g_signal_connect_swapped(engine, "focus-in", G_CALLBACK(+[](State* state, IBusEngine* self) {
                                 state->focused = self;
                                 state->stopComposing(self);
                                 state->fields.focusIn(contextOf(self), isPrivateField(self));
                             }),
                             this);
    g_signal_connect_swapped(engine, "focus-out", G_CALLBACK(+[](State* state, IBusEngine* self) {
                                 if (state->focused == self)
                                     state->focused = nullptr;
                                 state->stopComposing(self);
                                 state->fields.focusOut(contextOf(self));
                             }),
                             this);
    // The application reset its field (a click, text set by the program): a sequence begun is void.
    g_signal_connect_swapped(engine, "reset",
                             G_CALLBACK(+[](State* state, IBusEngine* self) { state->stopComposing(self); }),
                             this);
    g_signal_connect_swapped(engine, "destroy", G_CALLBACK(+[](State* state, IBusEngine* self) {
                                 if (state->focused == self)
                                     state->focused = nullptr;
                                 state->stopComposing(self);
                                 state->fields.destroyed(contextOf(self));
                                 state->reports->forget(contextOf(self));
                             }),
                             this);
    g_signal_connect_swapped(engine, "set-content-type",
                             G_CALLBACK(+[](State* state, guint purpose, guint hints, IBusEngine* self) {
                                 state->fields.contentType(contextOf(self), isPrivateField(purpose, hints));
                             }),
                             this);
    return engine;
}

gboolean IBusKeyboardHook::State::processKey(IBusEngine* engine, guint keyval, guint keycode,
                                             guint modifiers) {
    const IBusFields::Context context = contextOf(engine);
    if (modifiers & IBUS_RELEASE_MASK)
        return fields.released(context, keycode) ? TRUE : FALSE;
    if (composingIn != engine) {
        composer->reset();
        composingIn = engine;
    }
    // Composed in every field, private ones too, where the application would have composed as well.
    const XkbCompose::Press typed = composedPress(*composer, keyval, (modifiers & shortcutModifiers) != 0);
    const std::string& text = typed.text;
    const bool composing = typed.step == XkbCompose::Step::Composing;
    const bool composed = typed.step == XkbCompose::Step::Composed;
    const IBusFields::KeyKind kind = composing ? IBusFields::KeyKind::Compose : kindOf(keyval, text);
    if (!fields.looksAt(context)) {
        if (composing || composed) {
            flush(engine);
            if (composed)
                commit(engine, text);
            fields.swallowed(context, keycode);
            return TRUE;
        }
        fields.passed(context, kind, std::chrono::steady_clock::now(), reports->count(context));
        return FALSE;
    }
    // IBus may move an engine to another field without telling it the focus came in.
    focused = engine;
    if (composing) {
        // The press that ends the sequence types its result and goes to the handler; this one types nothing.
        if (!fields.pressed(context, kind, std::chrono::steady_clock::now()).burst)
            flush(engine);
        fields.swallowed(context, keycode);
        return TRUE;
    }
    const int virtualKey = virtualKeyForIBus(keyval, keycode);
    const IBusKeyDecisions::Arrival arrival =
        decisions.arrive(KeyCode::maySwallow(virtualKey, completionKey, numberKeys));
    const IBusFields::Press pace = fields.pressed(context, kind, std::chrono::steady_clock::now());
    std::weak_ptr<State> weak = weak_from_this();
    QMetaObject::invokeMethod(
        &uiThread,
        [weak, press = arrival.press, virtualKey, text] {
            if (const std::shared_ptr<State> state = weak.lock())
                state->deliver(press, virtualKey, text);
        },
        Qt::QueuedConnection);
    // Text held from a burst that has ended goes out before anything else of this key.
    if (!pace.burst)
        flush(engine);
    IBusKeyDecisions::Outcome outcome;
    if (arrival.held)
        outcome = decisions.await(arrival.press, watchdog, KeyCode::completes(virtualKey));
    // A composed letter is always the engine's to type: the application never saw the sequence.
    if (!outcome.commit.empty() || (!outcome.swallow && (pace.typed || composed))) {
        // Committed before the answer goes out, or held with the burst's text, so that it lands before
        // any key typed after this one.
        fields.hold(context, outcome.commit.empty() ? text : outcome.commit);
        if (pace.burst)
            awaitBurstEnd();
        else
            flush(engine);
        outcome.swallow = true;
    }
    if (outcome.swallow) {
        fields.swallowed(context, keycode);
        return TRUE;
    }
    if (kind != IBusFields::KeyKind::Modifier)
        flush(engine);
    fields.passed(context, kind, std::chrono::steady_clock::now(), reports->count(context));
    return FALSE;
}

void IBusKeyboardHook::State::listenForReports(GDBusConnection* connection) {
    if (filtered) {
        g_dbus_connection_remove_filter(filtered, reportFilter);
        g_object_unref(filtered);
    }
    filtered = connection ? G_DBUS_CONNECTION(g_object_ref(connection)) : nullptr;
    if (!connection)
        return;
    // The filter runs on the bus's own thread and sees every message before it is dispatched: the reports
    // reach a commit waiting on the engine thread. It only looks.
    reportFilter = g_dbus_connection_add_filter(
        connection,
        [](GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) -> GDBusMessage* {
            if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
                const gchar* member = g_dbus_message_get_member(message);
                const gchar* path = g_dbus_message_get_path(message);
                if (path && (g_strcmp0(member, "SetCursorLocation") == 0 ||
                             g_strcmp0(member, "SetCursorLocationRelative") == 0 ||
                             g_strcmp0(member, "SetSurroundingText") == 0))
                    (*static_cast<std::shared_ptr<IBusFieldReports>*>(data))->reported(path);
            }
            return message;
        },
        new std::shared_ptr<IBusFieldReports>(reports),
        [](gpointer data) { delete static_cast<std::shared_ptr<IBusFieldReports>*>(data); });
}

void IBusKeyboardHook::State::commit(IBusEngine* engine, const std::string& text) {
    const IBusFields::Context context = contextOf(engine);
    // Bounded: only right behind a key passed back or another commit, until the field reports it.
    if (const std::optional<IBusFields::Settle> settle = fields.settle(context))
        reports->awaitBeyond(context, settle->reportsSeen, settle->until);
    ibus_engine_commit_text(engine, ibus_text_new_from_string(text.c_str()));
    fields.committed(context, std::chrono::steady_clock::now(), reports->count(context));
}

void IBusKeyboardHook::State::flush(IBusEngine* engine) {
    const std::string text = fields.takeHeld(contextOf(engine));
    if (!text.empty())
        commit(engine, text);
}

void IBusKeyboardHook::State::awaitBurstEnd() {
    if (burstEnd) {
        g_source_destroy(burstEnd);
        g_source_unref(burstEnd);
    }
    burstEnd = g_timeout_source_new(static_cast<guint>(burstPause.count()));
    g_source_set_callback(
        burstEnd,
        [](gpointer data) {
            auto* state = static_cast<State*>(data);
            // Only live engines hold text: a context is its engine.
            for (const IBusFields::Context field : state->fields.holding())
                state->flush(reinterpret_cast<IBusEngine*>(field));
            g_source_unref(state->burstEnd);
            state->burstEnd = nullptr;
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(burstEnd, context);
}

void IBusKeyboardHook::State::stopComposing(IBusEngine* engine) {
    if (composingIn == engine) {
        composer->reset();
        composingIn = nullptr;
    }
}

void IBusKeyboardHook::State::deliver(std::uint64_t press, int virtualKey, std::string text) {
    if (!handler) {
        decisions.decide(press, false);
        return;
    }
    pressText = std::move(text);
    std::weak_ptr<State> weak = weak_from_this();
    handler(virtualKey, [weak, press](std::int16_t discard) {
        const std::shared_ptr<State> state = weak.lock();
        if (!state)
            return discard == 0;
        const bool tookEffect = state->decisions.decide(press, discard == 1);
        if (discard == 1 && tookEffect) {
            // The handler acts on the key before it returns to the event loop: a completion is
            // committed by then, and the engine thread may answer.
            QMetaObject::invokeMethod(
                &state->uiThread,
                [weak, press] {
                    if (const std::shared_ptr<State> alive = weak.lock())
                        alive->decisions.finish(press);
                },
                Qt::QueuedConnection);
        }
        return tookEffect;
    });
}

namespace {

class IBusTextCommitter final : public KeyInjector {
public:
    explicit IBusTextCommitter(std::shared_ptr<IBusKeyboardHook::State> state)
        : m_state(std::move(state)) {}
    // No keystrokes into other applications on this route: the engine commits instead.
    bool sendShiftInsert() override { return false; }
    bool commitText(const std::string& utf8) override;
    std::string name() const override { return "IBus"; }

private:
    std::shared_ptr<IBusKeyboardHook::State> m_state;
};

bool IBusTextCommitter::commitText(const std::string& utf8) {
    // A completion key that the watchdog already let through gets no text: never both. Either way the
    // clipboard stays the user's.
    m_state->decisions.commit(utf8);
    return true;
}

} // namespace

std::unique_ptr<KeyInjector> IBusKeyboardHook::createTextCommitter() {
    return std::make_unique<IBusTextCommitter>(m_state);
}

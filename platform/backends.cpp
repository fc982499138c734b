// The one place that decides which keyboard backends the program uses.
#include "backends.h"

KeyboardBackends createKeyboardBackends(const KeyboardBackendOptions&) {
    KeyboardBackends backends;
    backends.hook = std::make_unique<NullKeyboardHook>();
    backends.injector = std::make_unique<NullKeyInjector>();
    backends.problem = "this build has no keyboard backend for this desktop";
    return backends;
}

// Another X client for the clipboard end-to-end test, in one of three roles:
//   selectionowner serve   owns selections with the targets it is told on stdin, serving large
//                          ones in INCR chunks as toolkits do; each command is answered "ok":
//                            own SELECTION [TARGET FILE]...   owns SELECTION with these targets
//                            clear SELECTION                  leaves SELECTION without an owner
//   selectionowner dump SELECTION...
//                          for each: "selection NAME OWNER TARGET..." (its TARGETS), then per data
//                          target "target NAME TYPE FORMAT LENGTH", the bytes and a newline
//   selectionowner watch SELECTION...
//                          a stand-in clipboard manager: on every owner change of these selections
//                          reads TARGETS, and prints "NAME OWNER hint VALUE" when the
//                          x-kde-passwordManagerHint target is there, else "NAME OWNER text HEX" of
//                          the text it would keep; "NAME none" when the selection lost its owner,
//                          "NAME OWNER gone" when it changed again while being read
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::size_t incrChunk = 256 * 1024; // larger data goes in chunks of this, as GTK does
constexpr int answerMs = 5000;

Display* display;
Window window;
Atom property;

Atom atom(const char* name) {
    return XInternAtom(display, name, False);
}

std::string name(Atom a) {
    if (a == None)
        return "None";
    char* text = XGetAtomName(display, a);
    std::string result = text ? text : "?";
    XFree(text);
    return result;
}

struct Wanted {
    int type;
    Window window;
};

Bool matches(Display*, XEvent* event, XPointer arg) {
    const auto* wanted = reinterpret_cast<const Wanted*>(arg);
    if (event->type != wanted->type || event->xany.window != wanted->window)
        return False;
    return event->type != PropertyNotify ||
           (event->xproperty.atom == property && event->xproperty.state == PropertyNewValue);
}

// Other events stay queued: the watcher still sees the owner changes that came meanwhile.
bool waitEvent(XEvent* event, Wanted wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(answerMs);
    while (!XCheckIfEvent(display, event, matches, reinterpret_cast<XPointer>(&wanted))) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    }
    return true;
}

struct Data {
    Atom type = None;
    int format = 0;
    std::string bytes;
    const char* failure = nullptr; // why there is no answer
};

Data failed(const char* why) {
    Data data;
    data.failure = why;
    return data;
}

// The property as it went over the wire: Xlib hands 32-bit items over as longs.
Data takeProperty() {
    Data data;
    unsigned long items = 0, after = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 0x1fffffff, True, AnyPropertyType, &data.type,
                           &data.format, &items, &after, &value) != Success)
        return {};
    if (data.format == 8)
        data.bytes.assign(reinterpret_cast<char*>(value), items);
    for (unsigned long i = 0; data.format == 16 && i < items; ++i)
        data.bytes.append(reinterpret_cast<const char*>(&reinterpret_cast<short*>(value)[i]), 2);
    for (unsigned long i = 0; data.format == 32 && i < items; ++i) {
        const auto item = static_cast<std::uint32_t>(reinterpret_cast<long*>(value)[i]);
        data.bytes.append(reinterpret_cast<const char*>(&item), 4);
    }
    if (value)
        XFree(value);
    return data;
}

// What the owner of selection answers for target; type None when it refused or did not answer.
Data read(Atom selection, Atom target) {
    XDeleteProperty(display, window, property);
    XConvertSelection(display, selection, target, property, window, CurrentTime);
    XEvent event;
    if (!waitEvent(&event, {SelectionNotify, window}))
        return failed("no-answer");
    if (event.xselection.property == None)
        return failed("refused");
    Data data = takeProperty();
    if (data.type != atom("INCR"))
        return data;
    data = {};
    for (;;) {
        if (!waitEvent(&event, {PropertyNotify, window}))
            return failed("stalled");
        Data chunk = takeProperty();
        if (chunk.type == None) // the notice of a value already taken
            continue;
        if (chunk.bytes.empty())
            return data;
        data.type = chunk.type;
        data.format = chunk.format;
        data.bytes += chunk.bytes;
    }
}

std::vector<Atom> targets(Atom selection) {
    const Data data = read(selection, atom("TARGETS"));
    std::vector<Atom> result;
    for (std::size_t i = 0; data.format == 32 && i + 4 <= data.bytes.size(); i += 4) {
        std::uint32_t item;
        std::memcpy(&item, data.bytes.data() + i, 4);
        result.push_back(item);
    }
    return result;
}

int dump(int count, char** selections) {
    // Asked for by no application as data, some with side effects.
    const std::vector<std::string> skipped = {"TARGETS",      "MULTIPLE",         "TIMESTAMP",      "DELETE",
                                              "SAVE_TARGETS", "INSERT_SELECTION", "INSERT_PROPERTY"};
    for (int i = 0; i < count; ++i) {
        const Atom selection = atom(selections[i]);
        const std::vector<Atom> listed = targets(selection);
        std::printf("selection %s 0x%lx", selections[i], XGetSelectionOwner(display, selection));
        for (Atom target : listed)
            std::printf(" %s", name(target).c_str());
        std::printf("\n");
        for (Atom target : listed) {
            if (std::find(skipped.begin(), skipped.end(), name(target)) != skipped.end())
                continue;
            const Data data = read(selection, target);
            std::printf("target %s %s %d %zu\n", name(target).c_str(),
                        data.failure ? data.failure : name(data.type).c_str(), data.format,
                        data.bytes.size());
            std::fwrite(data.bytes.data(), 1, data.bytes.size(), stdout);
            std::printf("\n");
        }
    }
    return 0;
}

int watch(int count, char** selections) {
    int eventBase = 0, errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase)) {
        std::fprintf(stderr, "no XFixes\n");
        return 1;
    }
    for (int i = 0; i < count; ++i)
        XFixesSelectSelectionInput(display, DefaultRootWindow(display), atom(selections[i]),
                                   XFixesSetSelectionOwnerNotifyMask);
    std::printf("watching\n");
    std::fflush(stdout);
    const Atom hint = atom("x-kde-passwordManagerHint");
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != eventBase + XFixesSelectionNotify)
            continue;
        const auto& change = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        const std::string selection = name(change.selection);
        if (change.owner == None) {
            std::printf("%s none\n", selection.c_str());
        } else {
            const std::vector<Atom> listed = targets(change.selection);
            const Data marked = std::find(listed.begin(), listed.end(), hint) != listed.end()
                                    ? read(change.selection, hint)
                                    : failed("unmarked");
            if (marked.type != None) {
                std::printf("%s 0x%lx hint %s\n", selection.c_str(), change.owner, marked.bytes.c_str());
            } else if (!listed.empty() && marked.failure != std::string("unmarked")) {
                // Listed, but the owner had changed by the time it was asked.
                std::printf("%s 0x%lx gone\n", selection.c_str(), change.owner);
            } else {
                std::printf("%s 0x%lx text ", selection.c_str(), change.owner);
                for (unsigned char c : read(change.selection, atom("UTF8_STRING")).bytes)
                    std::printf("%02x", c);
                std::printf("\n");
            }
        }
        std::fflush(stdout);
    }
}

// A server time for owning, as ICCCM asks instead of CurrentTime.
Time now() {
    XChangeProperty(display, window, property, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(display, window, PropertyChangeMask, &event);
    return event.xproperty.time;
}

struct Owned {
    Time since = CurrentTime;
    std::map<Atom, std::string> targets;
};

struct Transfer {
    Window requestor;
    Atom property;
    Atom type;
    std::string rest;
};

std::map<Atom, Owned> owned;
std::vector<Transfer> transfers;

void answer(const XSelectionRequestEvent& request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    // An obsolete requestor names no property: the target stands for it.
    reply.property = request.property == None ? request.target : request.property;
    const auto selection = owned.find(request.selection);
    const std::map<Atom, std::string>* targets =
        selection == owned.end() ? nullptr : &selection->second.targets;
    const auto data = targets ? targets->find(request.target) : std::map<Atom, std::string>::const_iterator();
    if (!targets) {
        reply.property = None;
    } else if (request.target == atom("TARGETS")) {
        std::vector<long> list = {static_cast<long>(atom("TARGETS")), static_cast<long>(atom("TIMESTAMP"))};
        for (const auto& target : *targets)
            list.push_back(static_cast<long>(target.first));
        XChangeProperty(display, request.requestor, reply.property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(list.data()), static_cast<int>(list.size()));
    } else if (request.target == atom("TIMESTAMP")) {
        long since = static_cast<long>(selection->second.since);
        XChangeProperty(display, request.requestor, reply.property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&since), 1);
    } else if (data == targets->end()) {
        reply.property = None;
    } else if (data->second.size() > incrChunk) {
        XSelectInput(display, request.requestor, PropertyChangeMask);
        long size = static_cast<long>(data->second.size());
        XChangeProperty(display, request.requestor, reply.property, atom("INCR"), 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&size), 1);
        // A requestor that gave up before the end may use the same property again.
        std::erase_if(transfers, [&reply](const Transfer& transfer) {
            return transfer.requestor == reply.requestor && transfer.property == reply.property;
        });
        transfers.push_back({request.requestor, reply.property, request.target, data->second});
    } else {
        XChangeProperty(display, request.requestor, reply.property, request.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data->second.data()),
                        static_cast<int>(data->second.size()));
    }
    XSendEvent(display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
}

// The requestor took the last chunk: the next one, or the empty one that ends the transfer.
void sendChunk(const XPropertyEvent& deleted) {
    for (auto transfer = transfers.begin(); transfer != transfers.end(); ++transfer) {
        if (transfer->requestor != deleted.window || transfer->property != deleted.atom)
            continue;
        const std::size_t size = std::min(incrChunk, transfer->rest.size());
        XChangeProperty(display, transfer->requestor, transfer->property, transfer->type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(transfer->rest.data()),
                        static_cast<int>(size));
        if (size == 0)
            transfers.erase(transfer);
        else
            transfer->rest.erase(0, size);
        return;
    }
}

std::string command(std::istringstream& words) {
    std::string verb, selection;
    words >> verb >> selection;
    const Atom selectionAtom = atom(selection.c_str());
    const Time since = now();
    if (verb == "clear") {
        owned.erase(selectionAtom);
        XSetSelectionOwner(display, selectionAtom, None, since);
        return "ok";
    }
    if (verb != "own")
        return "unknown command";
    Owned content{since, {}};
    std::string target, file;
    while (words >> target >> file) {
        std::ifstream in(file, std::ios::binary);
        content.targets[atom(target.c_str())].assign(std::istreambuf_iterator<char>(in), {});
    }
    owned[selectionAtom] = content;
    XSetSelectionOwner(display, selectionAtom, window, since);
    return XGetSelectionOwner(display, selectionAtom) == window ? "ok" : "not owned";
}

// A clear that arrives after the selection was taken back is old news.
bool lost(Atom selection) {
    return XGetSelectionOwner(display, selection) != window;
}

int serve() {
    std::string pending;
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == SelectionRequest)
                answer(event.xselectionrequest);
            else if (event.type == SelectionClear && lost(event.xselectionclear.selection))
                owned.erase(event.xselectionclear.selection);
            else if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete)
                sendChunk(event.xproperty);
        }
        XFlush(display);
        pollfd fds[] = {{ConnectionNumber(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        poll(fds, 2, -1);
        if (!(fds[1].revents & (POLLIN | POLLHUP)))
            continue;
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0)
            return 0;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            std::istringstream words(pending.substr(0, end));
            std::printf("%s\n", command(words).c_str());
            std::fflush(stdout);
        }
    }
}

// A requestor that went away meanwhile is no fault of ours.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string role = argc > 1 ? argv[1] : "";
    if (role != "serve" && role != "dump" && role != "watch") {
        std::fprintf(stderr, "usage: %s serve | dump SELECTION... | watch SELECTION...\n", argv[0]);
        return 2;
    }
    display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, window, PropertyChangeMask);
    property = atom("QUENLO_TEST_SELECTION");
    if (role == "dump")
        return dump(argc - 2, argv + 2);
    return role == "watch" ? watch(argc - 2, argv + 2) : serve();
}

// Keeping the user's clipboard around a paste on X11.
//
// The paste needs the rest of the word as the owner of CLIPBOARD (GTK and Qt paste that on
// Shift+Insert) and of PRIMARY (terminals do). Taking a selection ends its owner's part in it, so
// every target the owner offers is read first, and afterwards this program answers for it, byte for
// byte, until someone else takes the selection. All of it runs on a connection and a thread of their
// own: reading waits on other programs, within a bound, and requests must be answered while the UI
// thread is busy.
#include "x11clipboard.h"

#include "x11display.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How long reading what the selections hold may take: the keys typed behind the completion wait
// for it.
constexpr auto readBound = std::chrono::milliseconds(100);
// The UI thread's wait for the whole placement: the read, a time stamp and taking the selections.
constexpr auto placeBound = readBound + std::chrono::milliseconds(100);
// More than this is not kept: it is rare on a clipboard, and the memory is the user's too.
constexpr std::size_t keepLimit = std::size_t(64) << 20;
// What was there comes back this long after the placement if the hook never says the paste is over
// (it gives up on a paste 1 s after typing it).
constexpr auto restoreBound = std::chrono::milliseconds(1500);
// Larger answers go in pieces (the INCR protocol), which every toolkit reads.
constexpr std::size_t pieceSize = 256 * 1024;
// A requestor that stops taking pieces is dropped after this.
constexpr auto transferIdleBound = std::chrono::seconds(5);

// One target of a selection's content, as the property that carries it.
struct Item {
    Atom target = None;
    Atom type = None;
    int format = 8;
    unsigned long count = 0; // of format-sized units
    // Xlib's form: format 32 is held as longs. Shared with transfers in progress.
    std::shared_ptr<const std::vector<unsigned char>> bytes;
};
using Content = std::vector<Item>;

std::size_t unitSize(int format) {
    return format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
}

// A window property as read, freed with it.
struct Property {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;

    Property() = default;
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;
    ~Property() {
        if (data)
            XFree(data);
    }
    // remove: deleted once read, which is how a requestor says it has taken it.
    bool read(Display* dpy, Window window, Atom name, long longs, bool remove,
              Atom wanted = AnyPropertyType) {
        return XGetWindowProperty(dpy, window, name, 0, longs, remove ? True : False, wanted, &type, &format,
                                  &count, &after, &data) == Success;
    }
    std::size_t size() const { return count * unitSize(format); }
};

// Content named by strings, made on the UI thread, where the thread's atoms cannot be asked for.
struct NamedItem {
    std::string target;
    std::string type;
    QByteArray bytes;
};

enum SelectionIndex : std::size_t { ClipboardSelection, PrimarySelection, SelectionCount };

// What Qt's own clipboard of this program holds: reading it through the X server would wait on the
// UI thread, which is waiting for the placement.
std::optional<std::vector<NamedItem>> ownQtContent(QClipboard::Mode mode) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return std::nullopt;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard ||
        !(mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection()))
        return std::nullopt;
    std::vector<NamedItem> items;
    const QMimeData* data = clipboard->mimeData(mode);
    if (!data)
        return items;
    if (data->hasText()) {
        const QByteArray utf8 = data->text().toUtf8();
        for (const char* target : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "TEXT"})
            items.push_back({target, "UTF8_STRING", utf8});
        items.push_back({"STRING", "STRING", data->text().toLatin1()});
    }
    for (const QString& format : data->formats()) {
        if (format != QLatin1String("text/plain") && !format.startsWith(QLatin1String("application/x-qt")))
            items.push_back({format.toStdString(), format.toStdString(), data->data(format)});
    }
    if (data->hasImage()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (qvariant_cast<QImage>(data->imageData()).save(&buffer, "PNG"))
            items.push_back({"image/png", "image/png", png});
    }
    return items;
}

struct ClipboardAtoms {
    Atom clipboard, targets, timestamp, multiple, incr, atomPair, utf8String, text, textPlain, textPlainUtf8,
        passwordHint, integer, timeProperty, saveTargets, deleteTarget, insertSelection, insertProperty;
};

ClipboardAtoms internAtoms(Display* dpy) {
    const std::pair<Atom ClipboardAtoms::*, const char*> named[] = {
        {&ClipboardAtoms::clipboard, "CLIPBOARD"},
        {&ClipboardAtoms::targets, "TARGETS"},
        {&ClipboardAtoms::timestamp, "TIMESTAMP"},
        {&ClipboardAtoms::multiple, "MULTIPLE"},
        {&ClipboardAtoms::incr, "INCR"},
        {&ClipboardAtoms::atomPair, "ATOM_PAIR"},
        {&ClipboardAtoms::utf8String, "UTF8_STRING"},
        {&ClipboardAtoms::text, "TEXT"},
        {&ClipboardAtoms::textPlain, "text/plain"},
        {&ClipboardAtoms::textPlainUtf8, "text/plain;charset=utf-8"},
        {&ClipboardAtoms::passwordHint, "x-kde-passwordManagerHint"},
        {&ClipboardAtoms::integer, "INTEGER"},
        {&ClipboardAtoms::timeProperty, "_QUENLO_CLIPBOARD_TIME"},
        {&ClipboardAtoms::saveTargets, "SAVE_TARGETS"},
        {&ClipboardAtoms::deleteTarget, "DELETE"},
        {&ClipboardAtoms::insertSelection, "INSERT_SELECTION"},
        {&ClipboardAtoms::insertProperty, "INSERT_PROPERTY"},
    };
    std::vector<char*> names;
    for (const auto& [member, name] : named)
        names.push_back(const_cast<char*>(name));
    std::vector<Atom> interned(names.size());
    XInternAtoms(dpy, names.data(), static_cast<int>(names.size()), False, interned.data());
    ClipboardAtoms atoms{};
    for (std::size_t i = 0; i < names.size(); ++i)
        atoms.*named[i].first = interned[i];
    return atoms;
}

} // namespace

struct X11Clipboard::State {
    enum class CommandKind { Place, PasteOver, Stop };
    struct Command {
        CommandKind kind = CommandKind::Stop;
        std::uint64_t id = 0;
        std::string utf8;
        std::array<std::optional<std::vector<NamedItem>>, SelectionCount> ownQt;
        static Command of(CommandKind kind) {
            Command command;
            command.kind = kind;
            return command;
        }
    };
    struct Selection {
        Atom name = None;
        bool owned = false;
        Time ownedSince = CurrentTime;
        Content served;
        // The rest of a word is being served; toRestore is what comes back after its paste (empty:
        // the selection had no owner, and has none again).
        bool servingFragment = false;
        Content toRestore;
        // Nothing of it is this program's any more.
        void forget() {
            const Atom kept = name;
            *this = Selection();
            name = kept;
        }
    };
    // Reading one selection's content from its owner.
    struct Read {
        struct Pending {
            Atom target = None;
            Atom property = None;
            bool incremental = false;
            bool done = false;
            Item item;
            std::vector<unsigned char> bytes;
        };
        Time time = CurrentTime;
        bool active = false;
        bool targetsDone = false;
        bool complete = true; // every target offered was read
        std::size_t total = 0;
        std::vector<Pending> pending;
        bool finished() const {
            return !active || (targetsDone && std::all_of(pending.begin(), pending.end(),
                                                          [](const Pending& p) { return p.done; }));
        }
    };
    // An answer in pieces to one requestor.
    struct Transfer {
        Window requestor;
        Atom property;
        Item item;
        std::size_t offset = 0; // in units
        bool reportsFetch = false;
        Time requestTime = CurrentTime;
        Clock::time_point lastActivity;
    };

    std::shared_ptr<X11Display> keyboard;
    std::shared_ptr<X11Display> own;
    Display* dpy = nullptr;
    Window window = None;
    int wakeFd = -1;
    std::thread thread;

    // Shared by both threads.
    std::mutex mutex;
    std::condition_variable answered;
    std::deque<Command> commands;
    std::uint64_t nextId = 0;
    std::uint64_t answeredId = 0;
    std::uint64_t abandonedId = 0;
    Placement answer = Placement::Failed;

    // The clipboard's thread only.
    ClipboardAtoms atoms{};
    std::array<Selection, SelectionCount> selections;
    std::array<Read, SelectionCount> reads;
    std::map<std::pair<std::size_t, std::size_t>, Atom> readProperties;
    std::optional<Clock::time_point> restoreAt;
    std::vector<Transfer> transfers;
    std::optional<Time> fetchedTime;

    ~State() {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void post(Command command) {
        {
            const std::lock_guard lock(mutex);
            commands.push_back(std::move(command));
        }
        const std::uint64_t one = 1;
        (void)!::write(wakeFd, &one, sizeof one);
    }

    void run();
    template <typename Done> bool pump(Done done, Clock::time_point deadline);
    void handle(XEvent& event);
    std::optional<Time> serverTime(Clock::time_point deadline);
    void place(Command& command);
    void startRead(std::size_t index, Time time);
    void readTargets(Read& read, std::size_t index, const XSelectionEvent& event);
    void readItem(Read& read, Read::Pending& pending);
    void readPiece(Read& read, Read::Pending& pending);
    Atom readProperty(std::size_t index, std::size_t slot);
    Content contentOf(const std::vector<NamedItem>& named);
    Content fragment(const std::string& utf8);
    void restore();
    void answerRequest(const XSelectionRequestEvent& request);
    bool convert(std::size_t index, Atom target, Window requestor, Atom property, Time time,
                 bool& reportsFetch);
    void sendPiece(Transfer& transfer);
    void onPropertyDeleted(const XPropertyEvent& event);
    int msUntilNextDeadline() const;
    std::optional<std::size_t> indexOf(Atom selection) const;
};

namespace {

Item makeItem(Atom target, Atom type, int format, const void* data, unsigned long count) {
    const auto* begin = static_cast<const unsigned char*>(data);
    return {target, type, format, count,
            std::make_shared<const std::vector<unsigned char>>(begin, begin + count * unitSize(format))};
}

} // namespace

std::unique_ptr<X11Clipboard> X11Clipboard::open(std::shared_ptr<X11Display> keyboard, std::string& error) {
    std::shared_ptr<X11Display> own = X11Display::open(keyboard->name(), error);
    if (!own)
        return nullptr;
    auto state = std::make_shared<State>();
    state->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->wakeFd < 0) {
        error = "the clipboard cannot make its wake-up channel";
        return nullptr;
    }
    state->keyboard = std::move(keyboard);
    state->own = std::move(own);
    Display* dpy = state->dpy = state->own->handle();

    state->atoms = internAtoms(dpy);
    state->selections[ClipboardSelection].name = state->atoms.clipboard;
    state->selections[PrimarySelection].name = XA_PRIMARY;

    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    state->window = XCreateWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, InputOnly, nullptr,
                                  CWEventMask, &attributes);
    XSync(dpy, False);
    state->thread = std::thread([s = state.get()] { s->run(); });
    return std::unique_ptr<X11Clipboard>(new X11Clipboard(std::move(state)));
}

X11Clipboard::X11Clipboard(std::shared_ptr<State> state)
    : m_state(std::move(state)) {
    std::weak_ptr<State> weak = m_state;
    m_state->keyboard->setPasteOverListener([weak] {
        if (const auto alive = weak.lock())
            alive->post(State::Command::of(State::CommandKind::PasteOver));
    });
}

X11Clipboard::~X11Clipboard() {
    m_state->keyboard->setPasteOverListener({});
    m_state->post(State::Command::of(State::CommandKind::Stop));
    m_state->thread.join();
}

Clipboard::Placement X11Clipboard::placeForPaste(const QString& text) {
    State& state = *m_state;
    State::Command command = State::Command::of(State::CommandKind::Place);
    command.utf8 = text.toStdString();
    command.ownQt = {ownQtContent(QClipboard::Clipboard), ownQtContent(QClipboard::Selection)};
    std::unique_lock lock(state.mutex);
    command.id = ++state.nextId;
    const std::uint64_t id = command.id;
    lock.unlock();
    state.post(std::move(command));
    lock.lock();
    if (!state.answered.wait_for(lock, placeBound, [&state, id] { return state.answeredId >= id; })) {
        // Too late to paste: if the thread still places the text, it comes off again at the bound.
        state.abandonedId = id;
        return Placement::Failed;
    }
    return state.answer;
}

void X11Clipboard::State::run() {
    // Named, so that a profile or a debugger tells this thread from the others.
    pthread_setname_np(pthread_self(), "clipboard");
    std::array<pollfd, 2> fds{pollfd{ConnectionNumber(dpy), POLLIN, 0}, pollfd{wakeFd, POLLIN, 0}};
    for (;;) {
        for (;;) {
            Command command;
            {
                const std::lock_guard lock(mutex);
                if (commands.empty())
                    break;
                command = std::move(commands.front());
                commands.pop_front();
            }
            if (command.kind == CommandKind::Stop) {
                // What the user had is put back, though it lasts only as long as this program.
                restore();
                XDestroyWindow(dpy, window);
                XSync(dpy, False);
                return;
            }
            if (command.kind == CommandKind::Place)
                place(command);
            else if (restoreAt)
                restoreAt = Clock::now();
        }
        if (restoreAt && Clock::now() >= *restoreAt)
            restore();
        const Clock::time_point now = Clock::now();
        for (auto it = transfers.begin(); it != transfers.end();) {
            if (now - it->lastActivity >= transferIdleBound) {
                XSelectInput(dpy, it->requestor, NoEventMask);
                it = transfers.erase(it);
            } else {
                ++it;
            }
        }
        // XPending flushes what was written and reads what came. Nothing may write between it and the
        // poll: a flush may read an event in passing, which would then wait unseen until the next wake,
        // as a paste's request once did until its hold's bound had put the user's text back.
        while (XPending(dpy) > 0) {
            XEvent event;
            XNextEvent(dpy, &event);
            handle(event);
        }
        fds[0].revents = fds[1].revents = 0;
        ::poll(fds.data(), fds.size(), msUntilNextDeadline());
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            (void)!::read(wakeFd, &count, sizeof count);
        }
    }
}

template <typename Done> bool X11Clipboard::State::pump(Done done, Clock::time_point deadline) {
    pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
    for (;;) {
        XFlush(dpy);
        while (XPending(dpy) > 0) {
            XEvent event;
            XNextEvent(dpy, &event);
            handle(event);
        }
        if (done())
            return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        ::poll(&fd, 1, static_cast<int>(left));
    }
}

void X11Clipboard::State::handle(XEvent& event) {
    switch (event.type) {
    case SelectionRequest:
        answerRequest(event.xselectionrequest);
        return;
    case SelectionClear:
        if (const auto index = indexOf(event.xselectionclear.selection)) {
            Selection& selection = selections[*index];
            // A clear for an ownership this program has since taken again is old news.
            if (event.xselectionclear.time != CurrentTime && selection.ownedSince != CurrentTime &&
                static_cast<std::int32_t>(
                    static_cast<std::uint32_t>(event.xselectionclear.time - selection.ownedSince)) < 0)
                return;
            // Someone put something newer there: it stays, and nothing is put back over it.
            selection.forget();
        }
        return;
    case SelectionNotify: {
        const XSelectionEvent& notify = event.xselection;
        const auto index = indexOf(notify.selection);
        if (!index || notify.requestor != window)
            return;
        Read& read = reads[*index];
        // An answer to an earlier read that ran out of time.
        if (!read.active || (notify.time != read.time && notify.time != CurrentTime)) {
            if (notify.property != None)
                XDeleteProperty(dpy, window, notify.property);
            return;
        }
        if (notify.target == atoms.targets && !read.targetsDone) {
            readTargets(read, *index, notify);
            return;
        }
        for (Read::Pending& pending : read.pending) {
            if (!pending.done && !pending.incremental && pending.target == notify.target) {
                if (notify.property == None) {
                    // The owner offered it but would not give it.
                    pending.done = true;
                } else {
                    readItem(read, pending);
                }
                return;
            }
        }
        return;
    }
    case PropertyNotify:
        if (event.xproperty.window == window) {
            if (event.xproperty.atom == atoms.timeProperty && event.xproperty.state == PropertyNewValue) {
                fetchedTime = event.xproperty.time;
                return;
            }
            if (event.xproperty.state != PropertyNewValue)
                return;
            for (Read& read : reads) {
                for (Read::Pending& pending : read.pending) {
                    if (read.active && pending.incremental && !pending.done &&
                        pending.property == event.xproperty.atom) {
                        readPiece(read, pending);
                        return;
                    }
                }
            }
        } else if (event.xproperty.state == PropertyDelete) {
            onPropertyDeleted(event.xproperty);
        }
        return;
    default:
        return;
    }
}

std::optional<Time> X11Clipboard::State::serverTime(Clock::time_point deadline) {
    // A change to a property of one's own window is the ICCCM's way to learn the server's time.
    fetchedTime.reset();
    XChangeProperty(dpy, window, atoms.timeProperty, XA_STRING, 8, PropModeAppend, nullptr, 0);
    if (!pump([this] { return fetchedTime.has_value(); }, deadline))
        return std::nullopt;
    return fetchedTime;
}

void X11Clipboard::State::place(Command& command) {
    const Clock::time_point deadline = Clock::now() + readBound;
    Placement result = Placement::Failed;
    if (const std::optional<Time> time = serverTime(deadline)) {
        std::array<Content, SelectionCount> kept;
        bool allKept = true;
        for (std::size_t index = 0; index < SelectionCount; ++index) {
            Selection& selection = selections[index];
            if (command.ownQt[index])
                kept[index] = contentOf(*command.ownQt[index]);
            else if (selection.owned)
                // Still answering for it: the user's content is what this program serves or will restore.
                kept[index] = selection.servingFragment ? selection.toRestore : selection.served;
            else if (XGetSelectionOwner(dpy, selection.name) != None)
                startRead(index, *time);
        }
        pump([this] { return reads[0].finished() && reads[1].finished(); }, deadline);
        for (std::size_t index = 0; index < SelectionCount; ++index) {
            Read& read = reads[index];
            if (!read.active)
                continue;
            allKept = allKept && read.finished() && read.complete;
            for (Read::Pending& pending : read.pending) {
                if (pending.done && pending.item.bytes)
                    kept[index].push_back(std::move(pending.item));
            }
            read = Read{};
        }

        bool abandoned = false;
        {
            const std::lock_guard lock(mutex);
            abandoned = abandonedId >= command.id;
        }
        bool placedAny = false;
        for (std::size_t index = 0; index < SelectionCount && !abandoned; ++index) {
            Selection& selection = selections[index];
            XSetSelectionOwner(dpy, selection.name, window, *time);
            if (XGetSelectionOwner(dpy, selection.name) != window)
                continue;
            selection.owned = true;
            selection.ownedSince = *time;
            selection.served = fragment(command.utf8);
            selection.servingFragment = true;
            selection.toRestore = std::move(kept[index]);
            placedAny = true;
        }
        if (placedAny) {
            result = allKept ? Placement::Kept : Placement::NotKept;
            restoreAt = Clock::now() + restoreBound;
        }
    }
    {
        const std::lock_guard lock(mutex);
        answeredId = command.id;
        answer = result;
    }
    answered.notify_all();
}

void X11Clipboard::State::startRead(std::size_t index, Time time) {
    Read& read = reads[index];
    read = Read{};
    read.active = true;
    read.time = time;
    XConvertSelection(dpy, selections[index].name, atoms.targets, readProperty(index, 0), window, time);
}

void X11Clipboard::State::readTargets(Read& read, std::size_t index, const XSelectionEvent& event) {
    read.targetsDone = true;
    std::vector<Atom> targets;
    if (event.property == None) {
        // An owner that cannot list its targets may still have text; what else it had is unknown.
        targets = {atoms.utf8String, XA_STRING};
        read.complete = false;
    } else {
        Property listed;
        if (listed.read(dpy, window, event.property, 4096, true) && listed.data && listed.format == 32) {
            const auto* atomsListed = reinterpret_cast<const Atom*>(listed.data);
            targets.assign(atomsListed, atomsListed + listed.count);
        }
    }
    // Requests rather than content; and the hint travels with what it marks, so it is kept.
    const std::array<Atom, 7> notContent{atoms.targets,       atoms.timestamp,    atoms.multiple,
                                         atoms.saveTargets,   atoms.deleteTarget, atoms.insertSelection,
                                         atoms.insertProperty};
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    for (const Atom target : targets) {
        if (target == None || std::find(notContent.begin(), notContent.end(), target) != notContent.end())
            continue;
        const Atom property = readProperty(index, read.pending.size() + 1);
        Read::Pending& pending = read.pending.emplace_back();
        pending.target = target;
        pending.property = property;
        XConvertSelection(dpy, selections[index].name, target, property, window, read.time);
    }
}

void X11Clipboard::State::readItem(Read& read, Read::Pending& pending) {
    Property value;
    // Deleting the property is what asks an incremental sender for its first piece.
    const bool ok = value.read(dpy, window, pending.property, long(keepLimit / 4 + 1), true);
    if (ok && value.type == atoms.incr) {
        pending.incremental = true;
        pending.item = Item{pending.target, None, 8, 0, nullptr};
    } else if (ok && value.type != None && value.after == 0 && read.total + value.size() <= keepLimit) {
        pending.item = makeItem(pending.target, value.type, value.format, value.data, value.count);
        read.total += value.size();
        pending.done = true;
    } else {
        // A property that is not there was refused; one too large is left out.
        read.complete = read.complete && ok && value.type == None;
        pending.done = true;
    }
}

void X11Clipboard::State::readPiece(Read& read, Read::Pending& pending) {
    Property piece;
    if (!piece.read(dpy, window, pending.property, long(keepLimit / 4 + 1), true) ||
        read.total + piece.size() > keepLimit) {
        read.complete = false;
        pending.done = true;
    } else if (piece.count == 0) {
        // The empty piece ends the transfer.
        if (pending.item.type != None) {
            pending.item.bytes = std::make_shared<const std::vector<unsigned char>>(std::move(pending.bytes));
            pending.item.count = pending.item.bytes->size() / unitSize(pending.item.format);
        }
        pending.done = true;
    } else {
        pending.item.type = piece.type;
        pending.item.format = piece.format;
        pending.bytes.insert(pending.bytes.end(), piece.data, piece.data + piece.size());
        read.total += piece.size();
    }
}

Atom X11Clipboard::State::readProperty(std::size_t index, std::size_t slot) {
    // A property per target, so that all of them can be asked for at once.
    const auto key = std::make_pair(index, slot);
    const auto found = readProperties.find(key);
    if (found != readProperties.end())
        return found->second;
    const std::string name = "_QUENLO_KEPT_" + std::to_string(index) + "_" + std::to_string(slot);
    const Atom atom = XInternAtom(dpy, name.c_str(), False);
    readProperties.emplace(key, atom);
    return atom;
}

Content X11Clipboard::State::contentOf(const std::vector<NamedItem>& named) {
    Content content;
    for (const NamedItem& item : named) {
        content.push_back(makeItem(XInternAtom(dpy, item.target.c_str(), False),
                                   XInternAtom(dpy, item.type.c_str(), False), 8, item.bytes.constData(),
                                   static_cast<unsigned long>(item.bytes.size())));
    }
    return content;
}

Content X11Clipboard::State::fragment(const std::string& utf8) {
    Content content;
    for (const Atom target : {atoms.utf8String, atoms.textPlainUtf8, atoms.textPlain, atoms.text})
        content.push_back(makeItem(target, atoms.utf8String, 8, utf8.data(), utf8.size()));
    const QByteArray latin1 = QString::fromStdString(utf8).toLatin1();
    content.push_back(
        makeItem(XA_STRING, XA_STRING, 8, latin1.constData(), static_cast<unsigned long>(latin1.size())));
    // Clipboard history tools leave content so marked out of their history.
    static constexpr char secret[] = "secret";
    content.push_back(makeItem(atoms.passwordHint, atoms.passwordHint, 8, secret, sizeof secret - 1));
    return content;
}

void X11Clipboard::State::restore() {
    restoreAt.reset();
    for (Selection& selection : selections) {
        if (!selection.owned || !selection.servingFragment)
            continue;
        selection.servingFragment = false;
        selection.served = std::move(selection.toRestore);
        selection.toRestore.clear();
        // Stamped with the placement's time, not the present: a copy the user made after the placement
        // carries a later time, so the server keeps it even if its request arrives after this one.
        if (selection.served.empty()) {
            XSetSelectionOwner(dpy, selection.name, None, selection.ownedSince);
            selection.forget();
        } else {
            // Taken anew, so that programs that watch the owner read the restored content again.
            XSetSelectionOwner(dpy, selection.name, window, selection.ownedSince);
        }
    }
    XFlush(dpy);
}

void X11Clipboard::State::answerRequest(const XSelectionRequestEvent& request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = dpy;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.property = None;
    reply.time = request.time;
    const auto index = indexOf(request.selection);
    // Obsolete requestors name no property: the target is then the property.
    const Atom property = request.property == None ? request.target : request.property;
    bool reportsFetch = false;
    if (index && selections[*index].owned) {
        if (request.target == atoms.multiple && request.property != None) {
            Property pairs;
            if (pairs.read(dpy, request.requestor, request.property, 1024, false, atoms.atomPair) &&
                pairs.data && pairs.format == 32) {
                auto* pair = reinterpret_cast<Atom*>(pairs.data);
                for (unsigned long i = 0; i + 1 < pairs.count; i += 2) {
                    if (!convert(*index, pair[i], request.requestor, pair[i + 1], request.time, reportsFetch))
                        pair[i] = None;
                }
                XChangeProperty(dpy, request.requestor, request.property, atoms.atomPair, 32, PropModeReplace,
                                pairs.data, static_cast<int>(pairs.count));
                reply.property = request.property;
            }
        } else if (convert(*index, request.target, request.requestor, property, request.time, reportsFetch)) {
            reply.property = property;
        }
    }
    XSendEvent(dpy, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(dpy);
    if (reportsFetch)
        keyboard->notePasteFetched(request.time);
}

bool X11Clipboard::State::convert(std::size_t index, Atom target, Window requestor, Atom property, Time time,
                                  bool& reportsFetch) {
    const Selection& selection = selections[index];
    if (target == atoms.targets) {
        std::vector<Atom> targets{atoms.targets, atoms.timestamp, atoms.multiple};
        for (const Item& item : selection.served)
            targets.push_back(item.target);
        XChangeProperty(dpy, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(targets.data()),
                        static_cast<int>(targets.size()));
        return true;
    }
    if (target == atoms.timestamp) {
        const long since = static_cast<long>(selection.ownedSince);
        XChangeProperty(dpy, requestor, property, atoms.integer, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&since), 1);
        return true;
    }
    const auto item = std::find_if(selection.served.begin(), selection.served.end(),
                                   [target](const Item& served) { return served.target == target; });
    if (item == selection.served.end())
        return false;
    // The pasted text itself, not the hint that a history tool looks at.
    const bool fetchesFragment = selection.servingFragment && target != atoms.passwordHint;
    if (item->bytes->size() <= pieceSize) {
        XChangeProperty(dpy, requestor, property, item->type, item->format, PropModeReplace,
                        item->bytes->data(), static_cast<int>(item->count));
        reportsFetch = reportsFetch || fetchesFragment;
        return true;
    }
    // The requestor deletes the property to ask for each piece.
    XSelectInput(dpy, requestor, PropertyChangeMask);
    const long size = static_cast<long>(item->bytes->size());
    XChangeProperty(dpy, requestor, property, atoms.incr, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    transfers.push_back({requestor, property, *item, 0, fetchesFragment, time, Clock::now()});
    return true;
}

void X11Clipboard::State::onPropertyDeleted(const XPropertyEvent& event) {
    const auto transfer = std::find_if(transfers.begin(), transfers.end(), [&event](const Transfer& t) {
        return t.requestor == event.window && t.property == event.atom;
    });
    if (transfer == transfers.end())
        return;
    sendPiece(*transfer);
}

void X11Clipboard::State::sendPiece(Transfer& transfer) {
    const std::size_t unit = unitSize(transfer.item.format);
    const std::size_t units = std::min<std::size_t>(pieceSize / unit, transfer.item.count - transfer.offset);
    XChangeProperty(dpy, transfer.requestor, transfer.property, transfer.item.type, transfer.item.format,
                    PropModeReplace, transfer.item.bytes->data() + transfer.offset * unit,
                    static_cast<int>(units));
    XFlush(dpy);
    transfer.offset += units;
    transfer.lastActivity = Clock::now();
    // The empty piece, sent once the last one is taken, ends the transfer.
    if (units == 0) {
        const Window requestor = transfer.requestor;
        const bool reports = transfer.reportsFetch;
        const Time time = transfer.requestTime;
        transfers.erase(transfers.begin() + (&transfer - transfers.data()));
        if (std::none_of(transfers.begin(), transfers.end(),
                         [requestor](const Transfer& t) { return t.requestor == requestor; }))
            XSelectInput(dpy, requestor, NoEventMask);
        if (reports)
            keyboard->notePasteFetched(time);
    }
}

int X11Clipboard::State::msUntilNextDeadline() const {
    std::optional<Clock::time_point> next = restoreAt;
    for (const Transfer& transfer : transfers) {
        const Clock::time_point end = transfer.lastActivity + transferIdleBound;
        next = next ? std::min(*next, end) : end;
    }
    if (!next)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::optional<std::size_t> X11Clipboard::State::indexOf(Atom selection) const {
    for (std::size_t index = 0; index < SelectionCount; ++index) {
        if (selections[index].name == selection)
            return index;
    }
    return std::nullopt;
}

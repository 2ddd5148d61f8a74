#include "platform/ui/lock_keys.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QtGui/qguiapplication_platform.h>

// Last: Xlib defines macros that clash with Qt's names.
#include <X11/XKBlib.h>

namespace ui {

// A connection of our own to the X server Qt uses, so the extension's events come to us and
// never pass through Qt's event handling.
struct LockKeyWatcher::XKeyboard {
    Display* display = nullptr;
    int eventBase = 0;
    Atom caps = 0, num = 0, scroll = 0;
    std::unique_ptr<QSocketNotifier> notifier;

    ~XKeyboard() {
        notifier.reset();
        if (display) {
            XCloseDisplay(display);
        }
    }
    bool Lit(Atom indicator) const {
        // A keyboard without that indicator leaves it off.
        Bool on = False;
        return XkbGetNamedIndicator(display, indicator, nullptr, &on, nullptr, nullptr) && on;
    }
    LockKeys Read() const { return {Lit(caps), Lit(num), Lit(scroll)}; }
};

LockKeyWatcher::LockKeyWatcher(QObject* parent) : QObject(parent) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    const char* name = nullptr;
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        if (Display* qtDisplay = x11->display()) {
            name = DisplayString(qtDisplay);
        }
    }
    auto x = std::make_unique<XKeyboard>();
    int error = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
    x->display = XkbOpenDisplay(name, &x->eventBase, &error, &major, &minor, &reason);
    if (!x->display) {
        return;
    }
    x->caps = XInternAtom(x->display, "Caps Lock", False);
    x->num = XInternAtom(x->display, "Num Lock", False);
    x->scroll = XInternAtom(x->display, "Scroll Lock", False);
    if (!XkbSelectEventDetails(x->display, XkbUseCoreKbd, XkbIndicatorStateNotify,
                               XkbAllIndicatorsMask, XkbAllIndicatorsMask)) {
        return;
    }
    x->notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(x->display), QSocketNotifier::Read);
    connect(x->notifier.get(), &QSocketNotifier::activated, this, [this] { ReadXEvents(); });
    m_x = std::move(x);
    m_state = m_x->Read();
    // Events that came with the replies above are in the queue, not on the socket.
    ReadXEvents();
}

LockKeyWatcher::~LockKeyWatcher() = default;

void LockKeyWatcher::ReadXEvents() {
    Display* d = m_x->display;
    for (;;) {
        bool changed = false;
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            changed = changed ||
                      (event.type == m_x->eventBase &&
                       reinterpret_cast<XkbEvent&>(event).any.xkb_type == XkbIndicatorStateNotify);
        }
        if (!changed) {
            return;
        }
        // Reading the state queues whatever came meanwhile: look again.
        Report(m_x->Read());
    }
}

void LockKeyWatcher::Report(const LockKeys& state) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    emit Changed(state);
}

} // namespace ui

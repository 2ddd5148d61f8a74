// The keyboard's lock states (Caps Lock, Num Lock, Scroll Lock), as the status bar shows them.
#pragma once

#include <QObject>
#include <memory>

namespace ui {

struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const LockKeys&) const = default;
};

// Reads the lock states from the X keyboard extension when the program runs on X, and reports
// each change as the X server announces it: nothing is polled. Where the states cannot be read
// (the offscreen platform, an X server without the extension) Known() is false, State() says
// every lock is off, and nothing is reported but what Report is given.
class LockKeyWatcher : public QObject {
    Q_OBJECT
public:
    explicit LockKeyWatcher(QObject* parent = nullptr);
    ~LockKeyWatcher() override;

    bool Known() const { return m_x != nullptr; }
    LockKeys State() const { return m_state; }
    // Takes a state as the keyboard's: Changed follows when it differs from the last one.
    void Report(const LockKeys& state);

signals:
    void Changed(const ui::LockKeys& state);

private:
    struct XKeyboard;
    void ReadXEvents();
    // Only while the states can be read.
    std::unique_ptr<XKeyboard> m_x;
    LockKeys m_state;
};

} // namespace ui

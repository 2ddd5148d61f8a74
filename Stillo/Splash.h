// The picture shown over the frame for a moment while the program starts.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>

class QEvent;

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    ~CSplashWnd() override;

    static void EnableSplashScreen(bool enable);
    // Shows the splash over its owner; when it goes, the owner is repainted and onClosed runs.
    static void ShowSplashScreen(QWidget* owner, std::function<void()> onClosed = {});
    // A key or mouse-button press while the splash is up hides it; true when the event is taken.
    static bool PreTranslateAppMessage(const QEvent* event);
    static void HideSplashScreen();
    // Removes the splash of that owner without calling it back (the owner is going away).
    static void DestroyForOwner(QWidget* owner);

    static constexpr int kTimerMs = 1500;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    explicit CSplashWnd(QWidget* owner);
    bool Create(QWidget* owner);

    QImage m_bmpSplash;
    // Hides the splash when its time is up; a child of the window, found among its parts.
    QTimer m_timer{this};
};

extern bool g_bSplashEnabled;
extern CSplashWnd* g_pActiveSplash;
// The window the splash shows over: the main frame.
extern QWidget* g_pSplashOwnerFrame;

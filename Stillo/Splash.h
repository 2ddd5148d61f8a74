// The picture shown over the frame for a moment while the program starts.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

class CMainFrame;
class QEvent;

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    ~CSplashWnd() override;

    static void EnableSplashScreen(bool enable);
    static void ShowSplashScreen(CMainFrame* frame);
    // A key or mouse-button press while the splash is up hides it; true when the event is taken.
    static bool PreTranslateAppMessage(const QEvent* event);
    static void HideSplashScreen();
    // Removes the splash of that frame without calling it back (the frame is going away).
    static void DestroyForOwner(CMainFrame* frame);

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
extern CMainFrame* g_pSplashOwnerFrame;

#include "Splash.h"

#include "platform/ui/services.h"
#include "res/resource.h"

#include <QEvent>
#include <QPainter>
#include <memory>

bool g_bSplashEnabled = false;
CSplashWnd* g_pActiveSplash = nullptr;
QWidget* g_pSplashOwnerFrame = nullptr;

namespace {
// What the owner asked to be told when the splash goes.
std::function<void()> g_fnSplashClosed;
} // namespace

CSplashWnd::CSplashWnd(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_NoSystemBackground);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [] { HideSplashScreen(); });
}

CSplashWnd::~CSplashWnd() {
    if (g_pActiveSplash == this) {
        g_pActiveSplash = nullptr;
    }
}

void CSplashWnd::EnableSplashScreen(bool enable) {
    g_bSplashEnabled = enable;
}

bool CSplashWnd::Create(QWidget* owner) {
    m_bmpSplash = ui::LoadBitmapResource(IDB_SPLASH);
    if (m_bmpSplash.isNull()) {
        return false;
    }
    setFixedSize(m_bmpSplash.size());
    // Centred over the owner.
    const QRect ownerRect = owner ? owner->frameGeometry() : QRect();
    move(ownerRect.center() - QPoint(width() / 2, height() / 2));
    show();
    m_timer.start(kTimerMs);
    return true;
}

void CSplashWnd::ShowSplashScreen(QWidget* owner, std::function<void()> onClosed) {
    if (!g_bSplashEnabled || g_pActiveSplash) {
        return;
    }
    g_pSplashOwnerFrame = owner;
    g_fnSplashClosed = std::move(onClosed);
    // Owned here until it shows; from then on the owner (its parent) and the hide own it.
    std::unique_ptr<CSplashWnd> splash(new CSplashWnd(owner));
    g_pActiveSplash = splash.get();
    if (!splash->Create(owner)) {
        return;
    }
    splash.release()->repaint();
}

bool CSplashWnd::PreTranslateAppMessage(const QEvent* event) {
    if (!g_pActiveSplash) {
        return false;
    }
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        HideSplashScreen();
        return true;
    default:
        return false;
    }
}

void CSplashWnd::HideSplashScreen() {
    CSplashWnd* splash = g_pActiveSplash;
    if (!splash) {
        return;
    }
    g_pActiveSplash = nullptr;
    splash->hide();
    splash->deleteLater();
    if (g_pSplashOwnerFrame) {
        g_pSplashOwnerFrame->repaint();
        if (g_fnSplashClosed) {
            g_fnSplashClosed();
        }
    }
}

void CSplashWnd::DestroyForOwner(QWidget* owner) {
    if (g_pSplashOwnerFrame != owner) {
        return;
    }
    g_pSplashOwnerFrame = nullptr;
    g_fnSplashClosed = {};
    if (CSplashWnd* splash = g_pActiveSplash) {
        g_pActiveSplash = nullptr;
        delete splash;
    }
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, m_bmpSplash);
}

// The program's only top-level window: menu, status bar, the client view and, inside it, the
// display window that parents the work form. Holds the state the work form and its worker thread
// read through g_pMainFrame.
#pragma once

#include "ChildView.h"
#include "MainFrameState.h"
#include "WorkViewLink.h"

#include <QMainWindow>
#include <QString>
#include <atomic>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class CWorkView;
namespace ui {
class LockKeyWatcher;
struct LockKeys;
} // namespace ui

// The fields the work form reads (running and video-loaded flags, the output path) come from
// CMainFrameState, so g_pMainFrame points at the frame itself.
class CMainFrame : public QMainWindow, public CMainFrameState {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // Builds the view, status bar, display window and the splash. Always true: Qt makes each of
    // them or throws (memory ran out), which the start-up catches.
    bool OnCreate(bool showSplash = true);
    // Links the menu commands, the enabling rules and the splash's end to the work form, through
    // the link it offers.
    void AttachWorkView(CWorkView* view);
    // The frame's size when it is not maximised.
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 768;
    // The restored geometry on a screen of that size: the frame's size centred, signed division.
    static QRect RestoredGeometry(int screenWidth, int screenHeight);

    // Menu commands.
    void OnFileLoadVideo();
    void OnFileSaveResult();
    void OnAppExit();
    void OnImageTrim();
    void OnDeinterlacing();
    void OnJpegQuality();
    void OnHelpManual();
    void OnAppAbout();
    // Runs the enabling rules (done each time a menu opens).
    void UpdateCommandUI();
    void OnSplashClosed();

    QAction* Action(int commandId) const;
    QMenu* Menu(int index) const;
    QWidget* DisplayWindow() const { return m_pDisplayWnd; }
    CChildView* View() const { return m_wndView; }
    // The message pane's text: a command's prompt while it is hovered, else "Ready".
    QString StatusText() const;
    // The source of the CAP, NUM and SCRL panes' states.
    ui::LockKeyWatcher* LockWatcher() const { return m_pLockWatcher; }

    QString m_strVideoFileName;
    QString m_strVideoPathName;
    QString m_strOutputFileName;
    QWidget* m_pDisplayWnd = nullptr;
    CWorkView* m_pWorkView = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    CChildView* m_wndView = nullptr;

    // The work form's link; empty until one is attached, and then every command that needs it
    // does nothing and the items it governs stay enabled.
    WorkViewLink m_link;
    // Set once Exit or close has run, so the second route does nothing.
    bool m_bExited = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildMenu();
    bool Snapping() const;
    void ShowLockKeys(const ui::LockKeys& keys);

    QLabel* m_pMessagePane = nullptr;
    // CAP, NUM, SCRL.
    QLabel* m_pLockPanes[3] = {};
    ui::LockKeyWatcher* m_pLockWatcher = nullptr;
};

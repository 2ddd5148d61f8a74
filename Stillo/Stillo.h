// The application object: start-up, the event hook that lets the splash swallow the first key or
// mouse press, and the About box.
#pragma once

#include "platform/ui/dialog.h"

#include <QCursor>
#include <QIcon>
#include <QObject>
#include <QStringList>
#include <memory>

class CMainFrame;

class CStilloApp : public QObject {
    Q_OBJECT
public:
    CStilloApp();
    ~CStilloApp() override;

    // Start-up; false (after a message on standard error) when the main window cannot be made.
    bool InitInstance(const QStringList& arguments);
    // True when the command line asks for no splash ("-nosplash", "/nosplash" or the embedding
    // switches, which also never show one).
    static bool SplashWanted(const QStringList& arguments);
    static void OnAppAbout(QWidget* parent);

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<CMainFrame> m_pMainWnd;
};

class CAboutDlg : public ui::Dialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent);
    static ui::DialogTemplate Template();
};

extern QIcon g_hAppIcon;
extern QCursor g_hCursorArrow;
extern QCursor g_hCursorSizeNWSE;
extern QCursor g_hCursorSizeNESW;
extern QCursor g_hCursorSizeWE;
extern QCursor g_hCursorSizeNS;

#include "MainFrm.h"

#include "Splash.h"
#include "Stillo.h"
#include "WorkView.h"
#include "platform/sys/sys.h"
#include "platform/ui/dialog.h"
#include "platform/ui/lock_keys.h"
#include "platform/ui/services.h"
#include "res/resource.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>
#include <cstdio>

namespace {

struct MenuItem {
    int id;
    const char* text;
    const char* prompt;
};

const MenuItem kFileItems[] = {
    {ID_FILE_LOADVIDEO, IDS_MENU_LOADVIDEO, IDS_PROMPT_LOADVIDEO},
    {ID_FILE_SAVE_AS, IDS_MENU_SAVERESULT, IDS_PROMPT_SAVERESULT},
    {ID_APP_EXIT, IDS_MENU_EXIT, IDS_PROMPT_EXIT},
};
const MenuItem kSettingsItems[] = {
    {ID_SETTINGS_IMAGETRIM, IDS_MENU_IMAGETRIM, IDS_PROMPT_IMAGETRIM},
    {ID_SETTINGS_DEINTERLACING, IDS_MENU_DEINTERLACING, IDS_PROMPT_DEINTERLACING},
    {ID_SETTINGS_JPEGQUALITY, IDS_MENU_JPEGQUALITY, IDS_PROMPT_JPEGQUALITY},
};
const MenuItem kHelpItems[] = {
    {ID_HELP_MANUAL, IDS_MENU_MANUAL, IDS_PROMPT_MANUAL},
    {ID_APP_ABOUT, IDS_MENU_ABOUT, IDS_PROMPT_ABOUT},
};

// A disabled menu item still takes the highlight, so hovering it (or reaching it with the keys)
// shows its prompt in the status bar, as every other item does.
class MenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_AllowActiveAndDisabled) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The program named by a browser command line: the quoted path when it starts with a quote and the
// quote is closed, else the text up to the first blank. Never reads outside the text.
std::string BrowserProgram(const std::string& command) {
    if (!command.empty() && command[0] == '"') {
        const auto close = command.find('"', 1);
        if (close == std::string::npos || close == 1) {
            return {};
        }
        return command.substr(1, close - 1);
    }
    const auto blank = command.find_first_of(" \t");
    return command.substr(0, blank);
}

// The kinds of file prompt, each with a folder of its own.
const QString kLoadPrompt = QStringLiteral("Load");
const QString kSavePrompt = QStringLiteral("Save");

// Where a file prompt opens: the folder it last took a file from, else the folder of the file
// given (when there is one), else the user's home.
QString PromptFolder(const QString& kind, const QString& fallbackFile = {}) {
    const QString remembered = ui::RememberedFolder(kind);
    if (!remembered.isEmpty()) {
        return remembered;
    }
    const QString beside = ui::ExistingFolderOf(fallbackFile);
    return !beside.isEmpty() ? beside : QDir::homePath();
}

} // namespace

CMainFrame::CMainFrame() {
    m_strOutputPathName = QStringLiteral("None");
    g_pMainFrame = this;
    setWindowTitle(QString::fromLatin1(IDS_TITLE));
    const QImage icon = ui::LoadIconResource(IDR_MAINFRAME);
    if (!icon.isNull()) {
        setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    }
    setAttribute(Qt::WA_QuitOnClose, true);
}

CMainFrame::~CMainFrame() {
    CSplashWnd::DestroyForOwner(this);
    if (g_pMainFrame == this) {
        g_pMainFrame = nullptr;
    }
}

QRect CMainFrame::RestoredGeometry(int screenWidth, int screenHeight) {
    // Integer division towards zero, so a screen smaller than the window gives negative corners.
    return QRect((screenWidth - kWidth) / 2, (screenHeight - kHeight) / 2, kWidth, kHeight);
}

bool CMainFrame::OnCreate(bool showSplash) {
    const QScreen* screen = QApplication::primaryScreen();
    const QSize size = screen ? screen->size() : QSize(kWidth, kHeight);
    setGeometry(RestoredGeometry(size.width(), size.height()));

    BuildMenu();

    m_wndView = new CChildView(this);
    m_wndView->setObjectName(QStringLiteral("view"));
    m_wndView->setProperty("controlId", AFX_IDW_PANE_FIRST);
    setCentralWidget(m_wndView);

    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setProperty("controlId", AFX_IDW_STATUS_BAR);
    // The message pane shows "Ready" while no prompt is up; a prompt is a temporary message,
    // which the status bar shows over this pane and clears when the pointer leaves the item.
    m_pMessagePane = new QLabel(QString::fromLatin1(IDS_READY), m_wndStatusBar);
    m_wndStatusBar->addWidget(m_pMessagePane, 1);
    const char* indicators[] = {IDS_INDICATOR_CAPS, IDS_INDICATOR_NUM, IDS_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i) {
        auto* pane = new QLabel(QString::fromLatin1(indicators[i]), m_wndStatusBar);
        pane->setObjectName(QString::fromLatin1(indicators[i]));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        m_wndStatusBar->addPermanentWidget(pane);
        m_pLockPanes[i] = pane;
    }
    setStatusBar(m_wndStatusBar);
    // An indicator is drawn greyed while its lock is off, and while the lock's state cannot be
    // read.
    m_pLockWatcher = new ui::LockKeyWatcher(this);
    connect(m_pLockWatcher, &ui::LockKeyWatcher::Changed, this, &CMainFrame::ShowLockKeys);
    ShowLockKeys(m_pLockWatcher->State());

    m_pDisplayWnd = new QWidget(m_wndView);
    m_pDisplayWnd->setObjectName(QStringLiteral("display"));
    m_pDisplayWnd->setAutoFillBackground(true);
    QPalette pal = m_pDisplayWnd->palette();
    pal.setColor(QPalette::Window, ui::ToQColor(ui::GetSysColor(ui::COLOR_BTNFACE)));
    m_pDisplayWnd->setPalette(pal);
    m_pDisplayWnd->setGeometry(m_wndView->contentsRect());
    m_pDisplayWnd->show();

    if (showSplash) {
        CSplashWnd::ShowSplashScreen(this, [this] { OnSplashClosed(); });
    }
    return true;
}

void CMainFrame::AttachWorkView(CWorkView* view) {
    m_pWorkView = view;
    m_link = view->Link();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_pDisplayWnd && m_wndView) {
        m_pDisplayWnd->setGeometry(m_wndView->contentsRect());
    }
}

void CMainFrame::BuildMenu() {
    auto* menuStyle = new MenuStyle;
    menuStyle->setParent(this);
    auto addMenu = [this, menuStyle](const char* title, auto& items) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(title));
        menu->setStyle(menuStyle);
        for (const MenuItem& item : items) {
            QAction* action = menu->addAction(QString::fromLatin1(item.text));
            action->setData(item.id);
            action->setStatusTip(QString::fromLatin1(item.prompt));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    };
    addMenu(IDS_MENU_FILE, kFileItems);
    addMenu(IDS_MENU_SETTINGS, kSettingsItems);
    addMenu(IDS_MENU_HELP, kHelpItems);

    const std::pair<int, void (CMainFrame::*)()> handlers[] = {
        {ID_FILE_LOADVIDEO, &CMainFrame::OnFileLoadVideo},
        {ID_FILE_SAVE_AS, &CMainFrame::OnFileSaveResult},
        {ID_APP_EXIT, &CMainFrame::OnAppExit},
        {ID_SETTINGS_IMAGETRIM, &CMainFrame::OnImageTrim},
        {ID_SETTINGS_DEINTERLACING, &CMainFrame::OnDeinterlacing},
        {ID_SETTINGS_JPEGQUALITY, &CMainFrame::OnJpegQuality},
        {ID_HELP_MANUAL, &CMainFrame::OnHelpManual},
        {ID_APP_ABOUT, &CMainFrame::OnAppAbout},
    };
    for (const auto& [id, handler] : handlers) {
        connect(Action(id), &QAction::triggered, this, handler);
    }
}

QAction* CMainFrame::Action(int commandId) const {
    for (QAction* top : menuBar()->actions()) {
        if (QMenu* menu = top->menu()) {
            for (QAction* action : menu->actions()) {
                if (action->data().toInt() == commandId) {
                    return action;
                }
            }
        }
    }
    return nullptr;
}

QMenu* CMainFrame::Menu(int index) const {
    const auto tops = menuBar()->actions();
    return index >= 0 && index < tops.size() ? tops[index]->menu() : nullptr;
}

QString CMainFrame::StatusText() const {
    if (!m_wndStatusBar) {
        return {};
    }
    const QString message = m_wndStatusBar->currentMessage();
    return message.isEmpty() ? m_pMessagePane->text() : message;
}

void CMainFrame::ShowLockKeys(const ui::LockKeys& keys) {
    m_pLockPanes[0]->setEnabled(keys.caps);
    m_pLockPanes[1]->setEnabled(keys.num);
    m_pLockPanes[2]->setEnabled(keys.scroll);
}

bool CMainFrame::Snapping() const {
    return m_link.isSnapping && m_link.isSnapping();
}

void CMainFrame::UpdateCommandUI() {
    const bool idle = !Snapping();
    const bool canvas = m_link.canvasExists && m_link.canvasExists();
    Action(ID_FILE_SAVE_AS)->setEnabled(idle && canvas);
    for (int id : {ID_FILE_LOADVIDEO, ID_SETTINGS_DEINTERLACING, ID_SETTINGS_IMAGETRIM,
                   ID_SETTINGS_JPEGQUALITY}) {
        Action(id)->setEnabled(idle);
    }
}

void CMainFrame::OnFileLoadVideo() {
    ui::FilePromptRequest request;
    request.parent = this;
    request.open = true;
    request.title = QStringLiteral("Load Video File");
    request.defaultExtension = QStringLiteral("avi");
    request.filter = QStringLiteral(
        "AVI Video Files (*.avi)|*.avi|MPEG Files (*.mpg)|*.mpg|All Files (*.*)|*.*|");
    request.folder = PromptFolder(kLoadPrompt);
    const ui::FilePromptResult result = ui::PromptForFile(request);
    if (!result.ok) {
        return;
    }
    ui::RememberFolder(kLoadPrompt, result.pathName);
    ui::WaitCursor wait;
    // The names are those of the video loaded, which Deinterlacing reloads: a file that cannot
    // be loaded leaves them as they were, with the video.
    if (m_link.loadVideo && m_link.loadVideo(result.pathName, result.fileName)) {
        m_strVideoFileName = result.fileName;
        m_strVideoPathName = result.pathName;
    }
}

void CMainFrame::OnFileSaveResult() {
    ui::FilePromptRequest request;
    request.parent = this;
    request.open = false;
    request.defaultExtension = QStringLiteral("jpg");
    request.filter = QStringLiteral("Jpeg Files (*.jpg)|*.jpg|");
    // The work form asks before it overwrites.
    request.confirmOverwrite = false;
    // Before the first picture is saved: beside the video it came from.
    request.folder = PromptFolder(kSavePrompt, m_strVideoPathName);
    const ui::FilePromptResult result = ui::PromptForFile(request);
    if (!result.ok) {
        return;
    }
    ui::RememberFolder(kSavePrompt, result.pathName);
    m_strOutputFileName = result.fileName;
    m_strOutputPathName = result.pathName;
    if (m_link.saveResult) {
        m_link.saveResult();
    }
}

void CMainFrame::OnAppExit() {
    if (m_bExited) {
        return;
    }
    m_bExited = true;
    ui::WaitCursor wait;
    // The worker loops while m_bRunning is set: clear it, then wait for the thread itself to
    // end.
    m_bRunning = 0;
    if (m_link.stopWorker) {
        m_link.stopWorker();
    }
    CSplashWnd::DestroyForOwner(this);
    QApplication::exit(0);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    OnAppExit();
    event->accept();
}

void CMainFrame::OnImageTrim() {
    if (m_link.settingsDialog) {
        if (ui::Dialog* dialog = m_link.settingsDialog(IDD_IMAGE_TRIM)) {
            dialog->DoModal();
        }
    }
}

void CMainFrame::OnDeinterlacing() {
    if (m_link.settingsDialog) {
        if (ui::Dialog* dialog = m_link.settingsDialog(IDD_DEINTERLACING)) {
            dialog->DoModal();
        }
    }
    ui::MessageBox(this, QStringLiteral("Must reload video file for new settings"),
                   QStringLiteral("Reload Message"));
    if (m_link.loadVideo) {
        m_link.loadVideo(m_strVideoPathName, m_strVideoFileName);
    }
}

void CMainFrame::OnJpegQuality() {
    if (m_link.settingsDialog) {
        if (ui::Dialog* dialog = m_link.settingsDialog(IDD_OUTPUT_SETTINGS)) {
            dialog->DoModal();
        }
    }
}

void CMainFrame::OnHelpManual() {
    // The manual lies in the installation folder, which is always defined (the executable's
    // folder when nothing else names one).
    const QString manual =
        QString::fromStdString(sys::InstallFolder()) + QStringLiteral("manual.htm");
    bool opened = false;
    if (QFileInfo::exists(manual)) {
        const std::string program = BrowserProgram(sys::BrowserCommand());
        opened = program != "xdg-open" && !program.empty() &&
                 sys::StartProcess(program, {manual.toStdString()});
        opened = opened || ui::ShellOpen(QUrl::fromLocalFile(manual).toString());
    }
    // Without a browser (or without the manual) the command would otherwise do nothing at all.
    if (!opened) {
        ui::MessageBox(this, QStringLiteral("Can Not Open The Manual\n") + manual,
                       QStringLiteral("Error"), ui::MsgIcon::Exclamation);
    }
}

void CMainFrame::OnAppAbout() {
    CStilloApp::OnAppAbout(this);
}

void CMainFrame::OnSplashClosed() {
    if (m_link.showLogo) {
        m_link.showLogo();
    }
}

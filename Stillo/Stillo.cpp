#include "Stillo.h"

#include "MainFrm.h"
#include "Splash.h"
#include "WorkView.h"
#include "platform/ui/controls.h"
#include "platform/ui/services.h"
#include "res/resource.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPixmap>
#include <cstdio>
#include <exception>

QIcon g_hAppIcon;
QCursor g_hCursorArrow;
QCursor g_hCursorSizeNWSE;
QCursor g_hCursorSizeNESW;
QCursor g_hCursorSizeWE;
QCursor g_hCursorSizeNS;

CStilloApp::CStilloApp() = default;

CStilloApp::~CStilloApp() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
}

bool CStilloApp::SplashWanted(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments[i].toLower();
        if (arg == QLatin1String("-nosplash") || arg == QLatin1String("/nosplash") ||
            arg == QLatin1String("-embedding") || arg == QLatin1String("/embedding") ||
            arg == QLatin1String("-automation") || arg == QLatin1String("/automation")) {
            return false;
        }
    }
    return true;
}

bool CStilloApp::InitInstance(const QStringList& arguments) {
    CSplashWnd::EnableSplashScreen(SplashWanted(arguments));
    QCoreApplication::setOrganizationName(QStringLiteral("Stillo - Pixelquill"));
    QCoreApplication::setApplicationName(QString::fromLatin1(IDS_TITLE));

    const QImage icon = ui::LoadIconResource(IDR_MAINFRAME);
    g_hAppIcon = icon.isNull() ? QIcon() : QIcon(QPixmap::fromImage(icon));
    QApplication::setWindowIcon(g_hAppIcon);

    g_hCursorArrow = QCursor(Qt::ArrowCursor);
    g_hCursorSizeNWSE = QCursor(Qt::SizeFDiagCursor);
    g_hCursorSizeNESW = QCursor(Qt::SizeBDiagCursor);
    g_hCursorSizeWE = QCursor(Qt::SizeHorCursor);
    g_hCursorSizeNS = QCursor(Qt::SizeVerCursor);

    // Every key and mouse press passes here first, so the splash can swallow the first one.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }

    try {
        m_pMainWnd = std::make_unique<CMainFrame>();
        if (!m_pMainWnd->OnCreate(g_bSplashEnabled)) {
            std::fprintf(stderr, "Stillo: the main window could not be created\n");
            m_pMainWnd.reset();
            return false;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Stillo: the main window could not be created: %s\n", e.what());
        m_pMainWnd.reset();
        return false;
    }
    // The work form lives in the display window; its set-up ends with the probe of the video
    // machinery, whose failure ends the process with status 1.
    auto* view = new CWorkView(m_pMainWnd->DisplayWindow());
    m_pMainWnd->AttachWorkView(view);
    if (!view->OnInitDialog()) {
        return false;
    }
    m_pMainWnd->showMaximized();
    m_pMainWnd->repaint();
    view->show();
    return true;
}

bool CStilloApp::eventFilter(QObject* watched, QEvent* event) {
    if (CSplashWnd::PreTranslateAppMessage(event)) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void CStilloApp::OnAppAbout(QWidget* parent) {
    CAboutDlg dialog(parent);
    dialog.DoModal();
}

ui::DialogTemplate CAboutDlg::Template() {
    using ui::ControlKind;
    ui::DialogTemplate tpl;
    tpl.id = IDD_ABOUTBOX;
    tpl.caption = QString::fromLatin1(IDS_ABOUT_CAPTION);
    tpl.cx = 235;
    tpl.cy = 90;
    tpl.controls = {
        {ControlKind::Picture, IDR_MAINFRAME, QString(), 11, 10, 20, 20},
        {ControlKind::Label, ui::ID_STATIC, QString::fromLatin1(IDS_ABOUT_VERSION), 40, 8, 119, 8},
        // The lines leave room beside the OK button and to the right edge: each fits its label
        // with the dialog font, with room to spare for a wider stand-in face.
        {ControlKind::Label, ui::ID_STATIC, QStringLiteral("Made by the Stillo developers"), 40, 20,
         130, 8},
        {ControlKind::Label, ui::ID_STATIC,
         QStringLiteral("The manual (Help, Manual) lies beside the program"), 40, 31, 190, 8},
        {ControlKind::Label, ui::ID_STATIC,
         QStringLiteral("Mosaics: frames matched by features, painted as strips"), 40, 42, 190, 8},
        {ControlKind::Label, ui::ID_STATIC,
         QStringLiteral("Uses Qt 6, FFmpeg and libjpeg-turbo under their licences"), 40, 53, 190,
         8},
        {ControlKind::Label, ui::ID_STATIC,
         QStringLiteral("Provided as is, without warranty of any kind"), 40, 64, 190, 8},
        {ControlKind::DefPushButton, IDOK, QStringLiteral("OK"), 178, 7, 50, 14, ui::WS_GROUP},
    };
    return tpl;
}

CAboutDlg::CAboutDlg(QWidget* parent) : ui::Dialog(Template(), parent) {
    setWindowTitle(QString::fromLatin1(IDS_ABOUT_CAPTION));
    const QImage icon = ui::LoadIconResource(IDR_MAINFRAME);
    if (auto* picture = Item<ui::PictureControl>(IDR_MAINFRAME); picture && !icon.isNull()) {
        picture->SetBitmap(icon.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
}

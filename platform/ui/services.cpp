#include "platform/ui/services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QSettings>
#include <QTextLayout>
#include <QToolTip>
#include <QUrl>
#include <map>

namespace ui {

namespace {

struct SysColorTable {
    std::map<int, COLORREF> colors;
    bool loaded = false;
};

SysColorTable& Table() {
    static SysColorTable t;
    return t;
}

// Re-reads the table whenever the application palette changes.
class PaletteWatcher : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (obj == qApp && ev->type() == QEvent::ApplicationPaletteChange) {
            Table().loaded = false;
        }
        return false;
    }
};

void WatchPalette() {
    static QPointer<QObject> watcher;
    if (!watcher && qApp) {
        watcher = new PaletteWatcher;
        watcher->setParent(qApp); // lives as long as the application
        qApp->installEventFilter(watcher);
    }
}

MessageHandler& MsgHandler() {
    static MessageHandler h;
    return h;
}
FilePromptHandler& PromptHandler() {
    static FilePromptHandler h;
    return h;
}
OpenHandler& OpenHandlerRef() {
    static OpenHandler h;
    return h;
}
CursorKind g_cursor = CursorKind::None;
QPointer<QWidget> g_cursorTarget;

std::map<int, QImage>& IconRegistry() {
    static std::map<int, QImage> m;
    return m;
}
std::map<int, QImage>& BitmapRegistry() {
    static std::map<int, QImage> m;
    return m;
}

} // namespace

void RefreshSysColors() {
    WatchPalette();
    QPalette pal = qApp ? QApplication::palette() : QPalette();
    auto c = [&](QPalette::ColorRole role) { return FromQRgb(pal.color(role).rgb()); };
    auto& t = Table().colors;
    t[COLOR_WINDOW] = c(QPalette::Base);
    t[COLOR_WINDOWTEXT] = c(QPalette::WindowText);
    t[COLOR_BTNFACE] = c(QPalette::Button);
    t[COLOR_BTNTEXT] = c(QPalette::ButtonText);
    t[COLOR_BTNHILIGHT] = c(QPalette::Light);
    t[COLOR_3DLIGHT] = c(QPalette::Midlight);
    t[COLOR_3DDKSHADOW] = c(QPalette::Shadow);
    t[COLOR_BTNSHADOW] = c(QPalette::Dark);
    Table().loaded = true;
}

COLORREF GetSysColor(int index) {
    if (!Table().loaded) {
        RefreshSysColors();
    }
    auto it = Table().colors.find(index);
    return it == Table().colors.end() ? RGB(0, 0, 0) : it->second;
}

int MessageBox(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon,
               MsgButtons buttons) {
    MessageRequest req{parent, text, caption, icon, buttons};
    if (MsgHandler()) {
        return MsgHandler()(req);
    }
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::Information:
        qicon = QMessageBox::Information;
        break;
    case MsgIcon::Exclamation:
        qicon = QMessageBox::Warning;
        break;
    case MsgIcon::Error:
        qicon = QMessageBox::Critical;
        break;
    case MsgIcon::Question:
        qicon = QMessageBox::Question;
        break;
    case MsgIcon::None:
        break;
    }
    QMessageBox::StandardButtons qb = QMessageBox::Ok;
    if (buttons == MsgButtons::OkCancel) {
        qb = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == MsgButtons::YesNo) {
        qb = QMessageBox::Yes | QMessageBox::No;
    }
    QMessageBox box(qicon, caption, text, qb, parent);
    // A wait cursor over the work that shows the box is not the box's: the user answers it
    // with the arrow, as over any window that waits for input.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    const int pressed = box.exec();
    if (waiting) {
        QApplication::restoreOverrideCursor();
    }
    switch (pressed) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

void SetMessageHandler(MessageHandler handler) {
    MsgHandler() = std::move(handler);
}

QStringList ParseFilter(const QString& filter) {
    QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts[i];
        QString patterns = parts[i + 1];
        if (name.isEmpty()) {
            break;
        }
        patterns.replace(';', ' ');
        out << (name.contains('(' + patterns + ')') ? name : name + " (" + patterns + ")");
    }
    return out;
}

FilePromptResult PromptForFile(const FilePromptRequest& req) {
    if (PromptHandler()) {
        return PromptHandler()(req);
    }
    QFileDialog dlg(req.parent, req.title);
    dlg.setAcceptMode(req.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(req.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setNameFilters(ParseFilter(req.filter));
    dlg.setDefaultSuffix(req.defaultExtension);
    if (!req.folder.isEmpty()) {
        dlg.setDirectory(req.folder);
    }
    dlg.setOption(QFileDialog::ReadOnly, false);
    if (!req.confirmOverwrite) {
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    FilePromptResult res;
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return res;
    }
    res.ok = true;
    res.pathName = dlg.selectedFiles().first();
    res.fileName = QFileInfo(res.pathName).fileName();
    return res;
}

void SetFilePromptHandler(FilePromptHandler handler) {
    PromptHandler() = std::move(handler);
}

namespace {
QString FolderKey(const QString& kind) {
    return QStringLiteral("Folders/") + kind;
}
} // namespace

QString RememberedFolder(const QString& kind) {
    const QString folder = QSettings().value(FolderKey(kind)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

QString ExistingFolderOf(const QString& pathName) {
    const QFileInfo file(pathName);
    return !pathName.isEmpty() && file.absoluteDir().exists() ? file.absolutePath() : QString();
}

void RememberFolder(const QString& kind, const QString& pathName) {
    // A name typed into a folder that does not exist leaves the last real folder kept.
    const QString folder = ExistingFolderOf(pathName);
    if (!folder.isEmpty()) {
        QSettings().setValue(FolderKey(kind), folder);
    }
}

bool ShellOpen(const QString& target) {
    if (target.isEmpty()) {
        return false;
    }
    if (OpenHandlerRef()) {
        return OpenHandlerRef()(target);
    }
    QUrl url = QUrl::fromUserInput(target);
    return QDesktopServices::openUrl(url);
}

void SetOpenHandler(OpenHandler handler) {
    OpenHandlerRef() = std::move(handler);
}

void ShowToolTip(const QPoint& globalPos, const QString& text, QWidget* widget, const QRect& rect,
                 int maxWidth) {
    // Qt word-wraps a rich-text tip to a width of its own choosing, which puts a short text on
    // two lines: the lines are broken here and shown as plain text.
    QTextLayout layout(text, QToolTip::font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(maxWidth);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    QString tip = lines.join(QLatin1Char('\n'));
    // A text Qt would take for markup is shown as it is written.
    if (Qt::mightBeRichText(tip)) {
        tip = QStringLiteral("<p style='white-space:pre'>") + tip.toHtmlEscaped() +
              QStringLiteral("</p>");
    }
    QToolTip::showText(globalPos, tip, widget, rect);
}

Qt::CursorShape ToQtCursor(CursorKind kind) {
    switch (kind) {
    case CursorKind::SizeNWSE:
        return Qt::SizeFDiagCursor;
    case CursorKind::SizeNESW:
        return Qt::SizeBDiagCursor;
    case CursorKind::SizeWE:
        return Qt::SizeHorCursor;
    case CursorKind::SizeNS:
        return Qt::SizeVerCursor;
    case CursorKind::Wait:
        return Qt::WaitCursor;
    default:
        return Qt::ArrowCursor;
    }
}

void SetCursor(CursorKind kind) {
    g_cursor = kind;
    if (g_cursorTarget) {
        g_cursorTarget->setCursor(ToQtCursor(kind));
    }
}

CursorKind CurrentCursor() {
    return g_cursor;
}

void SetCursorTarget(QWidget* widget) {
    g_cursorTarget = widget;
}

WaitCursor::WaitCursor() {
    if (qApp) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

WaitCursor::~WaitCursor() {
    if (qApp) {
        QApplication::restoreOverrideCursor();
    }
}

QImage LoadIconResource(int id) {
    if (auto it = IconRegistry().find(id); it != IconRegistry().end()) {
        return it->second;
    }
    QImage img(QString(":/icons/%1.png").arg(id));
    return img.isNull() ? img : img.convertToFormat(QImage::Format_ARGB32);
}

QImage LoadBitmapResource(int id) {
    if (auto it = BitmapRegistry().find(id); it != BitmapRegistry().end()) {
        return it->second;
    }
    QImage img(QString(":/bitmaps/%1.png").arg(id));
    // Bitmaps are opaque: any alpha in the file is dropped.
    return img.isNull()
               ? img
               : img.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
}

void RegisterIconResource(int id, const QImage& image) {
    IconRegistry()[id] = image.convertToFormat(QImage::Format_ARGB32);
}

void RegisterBitmapResource(int id, const QImage& image) {
    BitmapRegistry()[id] = image.convertToFormat(QImage::Format_ARGB32);
}

namespace {
std::map<int, std::function<QMenu*()>>& MenuRegistry() {
    static std::map<int, std::function<QMenu*()>> m;
    return m;
}
} // namespace

namespace {
std::map<int, QString>& StringRegistry() {
    static std::map<int, QString> m;
    return m;
}
} // namespace

QString LoadStringResource(int id) {
    auto it = StringRegistry().find(id);
    return it == StringRegistry().end() ? QString() : it->second;
}

void RegisterStringResource(int id, const QString& text) {
    StringRegistry()[id] = text;
}

QMenu* LoadMenuResource(int id) {
    auto it = MenuRegistry().find(id);
    return it == MenuRegistry().end() || !it->second ? nullptr : it->second();
}

void RegisterMenuResource(int id, std::function<QMenu*()> builder) {
    MenuRegistry()[id] = std::move(builder);
}

std::unique_ptr<QCursor> LoadCursorResource(int id) {
    QPixmap pm(QString(":/cursors/%1.png").arg(id));
    if (pm.isNull()) {
        return nullptr;
    }
    return std::make_unique<QCursor>(pm);
}

QEvent::Type CommandEvent::Type() {
    static const QEvent::Type t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
}

QEvent::Type NotifyEvent::Type() {
    static const QEvent::Type t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
}

} // namespace ui

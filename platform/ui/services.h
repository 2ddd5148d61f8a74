// System services of the window layer: system colours, message boxes, file prompts, cursors,
// the shell's open verb and the program's image resources. Message boxes, file prompts and the
// open verb can be replaced (tests record them instead of showing anything).
#pragma once

#include "platform/ui/gdi.h"

#include <QCursor>
#include <QEvent>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

namespace ui {

// ---- system colours ---------------------------------------------------------------------------

enum SysColorIndex {
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_BTNTEXT = 18,
    COLOR_BTNHILIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_3DFACE = COLOR_BTNFACE,
    COLOR_3DSHADOW = COLOR_BTNSHADOW,
    COLOR_3DHILIGHT = COLOR_BTNHILIGHT,
};

// The colour from the application palette; the table is read again after a palette change.
COLORREF GetSysColor(int index);
// Reads the table from the current application palette now.
void RefreshSysColors();

// ---- message boxes ----------------------------------------------------------------------------

enum class MsgIcon { None, Information, Exclamation, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum MsgResult { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageRequest {
    QWidget* parent = nullptr;
    QString text;
    QString caption;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
};
using MessageHandler = std::function<int(const MessageRequest&)>;

// Shows a modal message box (GUI thread only) and returns the button pressed.
int MessageBox(QWidget* parent, const QString& text, const QString& caption,
               MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok);
// Replaces the box; an empty handler restores the real one.
void SetMessageHandler(MessageHandler handler);

// ---- file prompts -----------------------------------------------------------------------------

struct FilePromptRequest {
    QWidget* parent = nullptr;
    bool open = true;
    QString title;
    QString defaultExtension; // without the dot
    QString filter;           // "Name|*.ext|Name|*.ext|" as in the resource texts
    bool confirmOverwrite = false;
    QString folder; // where the prompt opens; empty: wherever the toolkit chooses
};
struct FilePromptResult {
    bool ok = false;
    QString pathName; // full path
    QString fileName; // name with extension
};
using FilePromptHandler = std::function<FilePromptResult(const FilePromptRequest&)>;

FilePromptResult PromptForFile(const FilePromptRequest& request);
void SetFilePromptHandler(FilePromptHandler handler);
// "A|*.a|B|*.b|" → {"A (*.a)", "B (*.b)"}; a name that already shows its pattern is kept.
QStringList ParseFilter(const QString& filter);

// The desktop's file prompts remember, for each program and each kind of prompt, the folder the
// user last took a file from. The memory lies in the program's settings (QSettings under the
// application's organisation and name), so it outlives the run, and holds folders only.
// The folder kept for that kind of prompt; empty when none is kept or it no longer exists.
QString RememberedFolder(const QString& kind);
// The folder of the file pathName, absolute; empty for no name or a folder that does not exist.
QString ExistingFolderOf(const QString& pathName);
// Keeps the folder of the file pathName for that kind of prompt, when that folder exists.
void RememberFolder(const QString& kind, const QString& pathName);

// ---- shell ------------------------------------------------------------------------------------

using OpenHandler = std::function<bool(const QString& target)>;
// The shell's open verb: a URL or a local file in the desktop's handler. False when it failed.
bool ShellOpen(const QString& target);
void SetOpenHandler(OpenHandler handler);

// ---- tooltips ---------------------------------------------------------------------------------

// Shows a tooltip for `widget` while the pointer stays in `rect` (widget coordinates), as the
// window system's tooltip control does: one line as wide as its text, broken at word boundaries
// only where the line would grow past maxWidth pixels.
void ShowToolTip(const QPoint& globalPos, const QString& text, QWidget* widget, const QRect& rect,
                 int maxWidth);

// ---- cursors ----------------------------------------------------------------------------------

enum class CursorKind { None, Arrow, SizeNWSE, SizeNESW, SizeWE, SizeNS, Wait };
Qt::CursorShape ToQtCursor(CursorKind kind);
// The window system's global SetCursor: shown on the current cursor target, and remembered.
void SetCursor(CursorKind kind);
CursorKind CurrentCursor();
// The widget that shows the cursors set with SetCursor (the work form's picture, for example).
void SetCursorTarget(QWidget* widget);

// Wait cursor for as long as the object lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// ---- resources --------------------------------------------------------------------------------

// Icons and bitmaps of the program by resource id, from the compiled-in resources
// (":/icons/<id>.png", ":/bitmaps/<id>.png"); a null image when there is none.
QImage LoadIconResource(int id);
QImage LoadBitmapResource(int id);
// Registers extra images for an id (tests use this to give images without resource files).
void RegisterIconResource(int id, const QImage& image);
void RegisterBitmapResource(int id, const QImage& image);

// Strings by resource id (the string table); empty when the id has none.
QString LoadStringResource(int id);
void RegisterStringResource(int id, const QString& text);

// Menus by resource id, made by a registered builder (the frame registers its menus); null when
// the id is unknown. The caller owns the menu.
class QMenu* LoadMenuResource(int id);
void RegisterMenuResource(int id, std::function<class QMenu*()> builder);
// Cursors by resource id, from ":/cursors/<id>.png" (hot spot at the centre); null when none.
std::unique_ptr<QCursor> LoadCursorResource(int id);

// ---- messages between windows -----------------------------------------------------------------

// A menu command (the window system's WM_COMMAND), posted to its owner.
class CommandEvent : public QEvent {
public:
    explicit CommandEvent(int commandId) : QEvent(Type()), m_id(commandId) {}
    static QEvent::Type Type();
    int Id() const { return m_id; }

private:
    int m_id;
};

// A user message with a parameter pair, sent to a window (the drop menu's notification).
class NotifyEvent : public QEvent {
public:
    NotifyEvent(int message, void* wParam, uintptr_t lParam)
        : QEvent(Type()), m_message(message), m_wParam(wParam), m_lParam(lParam) {}
    static QEvent::Type Type();
    int Message() const { return m_message; }
    void* WParam() const { return m_wParam; }
    uintptr_t LParam() const { return m_lParam; }

private:
    int m_message;
    void* m_wParam;
    uintptr_t m_lParam;
};

} // namespace ui

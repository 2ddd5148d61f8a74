// Dialog templates in dialog units, turned into absolutely placed widgets found by control id.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

class QButtonGroup;

namespace ui {

// Dialog units to pixels with base units 6 x 13, rounded as MulDiv rounds.
constexpr int DluToPxX(int x) {
    return x >= 0 ? (x * 6 + 2) / 4 : -((-x * 6 + 2) / 4);
}
constexpr int DluToPxY(int y) {
    return y >= 0 ? (y * 13 + 4) / 8 : -((-y * 13 + 4) / 8);
}

enum class ControlKind {
    PushButton,
    DefPushButton, // the dialog's default button
    AutoRadio,
    AutoCheck,
    Edit, // read-only unless ES_WRITABLE
    Trackbar,
    UpDown,
    HScroll,
    VScroll,
    Picture,
    GroupBox,
    Label,
};

enum ControlStyle : unsigned {
    WS_GROUP = 0x1,     // starts a new radio group
    WS_DISABLED = 0x2,  // created disabled
    WS_HIDDEN = 0x4,    // created hidden
    NO_TABSTOP = 0x8,   // not reached with Tab
    ES_WRITABLE = 0x10, // an edit the user may type into
};

constexpr int ID_STATIC = -1;

struct ControlDesc {
    ControlKind kind;
    int id;
    QString caption;
    int x, y, cx, cy; // dialog units
    unsigned style = 0;
};

struct DialogTemplate {
    int id = 0;
    QString caption;
    int cx = 0, cy = 0; // client size, dialog units
    std::vector<ControlDesc> controls;
};

// Makes the widget of a control; returning null makes the standard one. Lets a class of its own
// stand in for a control, as subclassing does on the window system the program came from.
using ControlFactory = std::function<QWidget*(const ControlDesc&, QWidget* parent)>;

// The dialog font: a sans face (DejaVu Sans Condensed where present) at the largest size up to
// 11 px whose letters fit the 6 x 13 dialog-unit base, so captions fit their rectangles.
QFont DialogFont();

// Creates the template's controls on host, placed in pixels, host sized to the template.
void BuildControls(QWidget* host, const DialogTemplate& tpl, const ControlFactory& factory = {});
// The control of that id under host (ID_STATIC never matches).
QWidget* FindControl(const QWidget* host, int id);
template <class T> T* FindControlAs(const QWidget* host, int id) {
    return qobject_cast<T*>(FindControl(host, id));
}
// The id a control was built with, or ID_STATIC.
int ControlId(const QWidget* control);

// A modal dialog built from a template. OK (id 1) accepts, Cancel (id 2) and Esc reject.
class Dialog : public QDialog {
    Q_OBJECT
public:
    Dialog(const DialogTemplate& tpl, QWidget* parent, const ControlFactory& factory = {});
    // Runs OnInitDialog, then the dialog modally; returns 1 for OK, 2 for Cancel.
    int DoModal();
    QWidget* GetDlgItem(int id) const { return FindControl(this, id); }
    template <class T> T* Item(int id) const { return FindControlAs<T>(this, id); }
    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;
    int TemplateId() const { return m_templateId; }

    // Sets the controls from the members; runs before every showing.
    virtual void OnInitDialog() {}

private:
    int m_templateId;
};

} // namespace ui

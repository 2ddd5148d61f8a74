#include "platform/ui/dialog.h"

#include "platform/ui/controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

namespace ui {

namespace {
const char* kIdProperty = "stilloControlId";
}

QFont DialogFont() {
    // Templates are laid out in dialog units of a 6 x 13 pixel base, the metrics of the 8-point
    // face they were designed with, whose letters average under 6 pixels across. DejaVu Sans at
    // 11 pixels averages nearly 7, which would run captions past their rectangles and cut them
    // ("Input Filenam"). The condensed face fits at 10 pixels; whatever face stands in, its size
    // is lowered until its letters are that narrow and its lines fit the 13-pixel unit.
    constexpr double kMaxAverageWidth = 5.75;
    constexpr int kMaxLineHeight = 13;
    const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    for (int px = 11; px >= 8; --px) {
        f.setPixelSize(px);
        const QFontMetricsF fm(f);
        if (fm.horizontalAdvance(letters) / letters.size() <= kMaxAverageWidth &&
            fm.height() <= kMaxLineHeight) {
            break;
        }
    }
    return f;
}

int ControlId(const QWidget* control) {
    QVariant v = control ? control->property(kIdProperty) : QVariant();
    return v.isValid() ? v.toInt() : ID_STATIC;
}

QWidget* FindControl(const QWidget* host, int id) {
    if (!host || id == ID_STATIC) {
        return nullptr;
    }
    for (QWidget* w : host->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (ControlId(w) == id) {
            return w;
        }
    }
    return nullptr;
}

namespace {

// What the controls built so far leave for the next: the radio group a radio button joins, and
// the group boxes to lower beneath the rest.
struct BuildState {
    QButtonGroup* group = nullptr;
    std::vector<QWidget*> groupBoxes;
};

QWidget* MakeRadio(const ControlDesc& d, QWidget* host, BuildState* state) {
    auto* r = new QRadioButton(d.caption, host);
    // Groups follow the template's group starts, not the parent widget.
    r->setAutoExclusive(false);
    if (!state->group || (d.style & WS_GROUP)) {
        state->group = new QButtonGroup(host);
        state->group->setExclusive(true);
    }
    state->group->addButton(r, d.id);
    return r;
}

// A read-only edit as the desktop shows one: the window's background behind its text, no
// caret, and no focus, so nothing invites typing into it.
void ShowReadOnly(QLineEdit* edit) {
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    QPalette pal = edit->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, pal.color(group, QPalette::Window));
    }
    edit->setPalette(pal);
}

// The standard widget of a control kind.
QWidget* MakeControl(const ControlDesc& d, QWidget* host, BuildState* state) {
    switch (d.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* b = new QPushButton(d.caption, host);
        b->setAutoDefault(true);
        b->setDefault(d.kind == ControlKind::DefPushButton);
        return b;
    }
    case ControlKind::AutoRadio:
        return MakeRadio(d, host, state);
    case ControlKind::AutoCheck:
        return new QCheckBox(d.caption, host);
    case ControlKind::Edit: {
        auto* e = new QLineEdit(d.caption, host);
        if (!(d.style & ES_WRITABLE)) {
            ShowReadOnly(e);
        }
        return e;
    }
    case ControlKind::Trackbar:
        return new Trackbar(host);
    case ControlKind::UpDown:
        return new UpDown(host);
    case ControlKind::HScroll:
        return new QScrollBar(Qt::Horizontal, host);
    case ControlKind::VScroll:
        return new QScrollBar(Qt::Vertical, host);
    case ControlKind::Picture:
        return new PictureControl(host);
    case ControlKind::GroupBox: {
        auto* g = new QGroupBox(d.caption, host);
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        state->groupBoxes.push_back(g);
        return g;
    }
    case ControlKind::Label:
        return new QLabel(d.caption, host);
    }
    return nullptr;
}

// Id, name, place and the style bits the template gives every control.
void PlaceControl(QWidget* w, const ControlDesc& d) {
    w->setProperty(kIdProperty, d.id);
    if (d.id != ID_STATIC) {
        w->setObjectName(QString("ctrl%1").arg(d.id));
    }
    w->setGeometry(DluToPxX(d.x), DluToPxY(d.y), DluToPxX(d.cx), DluToPxY(d.cy));
    if (d.style & WS_DISABLED) {
        w->setEnabled(false);
    }
    // Only takes Tab away: a control that takes no focus at all keeps it so.
    if ((d.style & NO_TABSTOP) && (w->focusPolicy() & Qt::TabFocus)) {
        w->setFocusPolicy(Qt::ClickFocus);
    }
    w->setVisible(!(d.style & WS_HIDDEN));
}

} // namespace

void BuildControls(QWidget* host, const DialogTemplate& tpl, const ControlFactory& factory) {
    host->setFont(DialogFont());
    host->setFixedSize(DluToPxX(tpl.cx), DluToPxY(tpl.cy));
    BuildState state;
    for (const ControlDesc& d : tpl.controls) {
        QWidget* w = factory ? factory(d, host) : nullptr;
        if (!w) {
            w = MakeControl(d, host, &state);
        }
        if (d.kind != ControlKind::AutoRadio) {
            state.group = (d.style & WS_GROUP) ? nullptr : state.group;
        }
        PlaceControl(w, d);
    }
    // Group boxes lie under the controls they frame.
    for (QWidget* g : state.groupBoxes) {
        g->lower();
    }
}

Dialog::Dialog(const DialogTemplate& tpl, QWidget* parent, const ControlFactory& factory)
    : QDialog(parent), m_templateId(tpl.id) {
    setWindowTitle(tpl.caption);
    BuildControls(this, tpl, factory);
    if (auto* ok = qobject_cast<QAbstractButton*>(GetDlgItem(1))) {
        connect(ok, &QAbstractButton::clicked, this, [this] { done(1); });
    }
    if (auto* cancel = qobject_cast<QAbstractButton*>(GetDlgItem(2))) {
        connect(cancel, &QAbstractButton::clicked, this, [this] { done(2); });
    }
}

int Dialog::DoModal() {
    OnInitDialog();
    int r = exec();
    return r == 1 ? 1 : 2;
}

void Dialog::SetDlgItemText(int id, const QString& text) {
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
    }
}

QString Dialog::GetDlgItemText(int id) const {
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return g->title();
    }
    return {};
}

} // namespace ui

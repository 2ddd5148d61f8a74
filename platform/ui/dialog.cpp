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

void BuildControls(QWidget* host, const DialogTemplate& tpl, const ControlFactory& factory) {
    host->setFont(DialogFont());
    host->setFixedSize(DluToPxX(tpl.cx), DluToPxY(tpl.cy));
    QButtonGroup* group = nullptr;
    std::vector<QWidget*> groupBoxes;
    for (const ControlDesc& d : tpl.controls) {
        QWidget* w = factory ? factory(d, host) : nullptr;
        if (!w) {
            switch (d.kind) {
            case ControlKind::PushButton:
            case ControlKind::DefPushButton: {
                auto* b = new QPushButton(d.caption, host);
                b->setAutoDefault(true);
                b->setDefault(d.kind == ControlKind::DefPushButton);
                w = b;
                break;
            }
            case ControlKind::AutoRadio: {
                auto* r = new QRadioButton(d.caption, host);
                // Groups follow the template's group starts, not the parent widget.
                r->setAutoExclusive(false);
                if (!group || (d.style & WS_GROUP)) {
                    group = new QButtonGroup(host);
                    group->setExclusive(true);
                }
                group->addButton(r, d.id);
                w = r;
                break;
            }
            case ControlKind::AutoCheck:
                w = new QCheckBox(d.caption, host);
                break;
            case ControlKind::Edit: {
                auto* e = new QLineEdit(d.caption, host);
                e->setReadOnly(!(d.style & ES_WRITABLE));
                w = e;
                break;
            }
            case ControlKind::Trackbar:
                w = new Trackbar(host);
                break;
            case ControlKind::UpDown:
                w = new UpDown(host);
                break;
            case ControlKind::HScroll:
                w = new QScrollBar(Qt::Horizontal, host);
                break;
            case ControlKind::VScroll:
                w = new QScrollBar(Qt::Vertical, host);
                break;
            case ControlKind::Picture:
                w = new PictureControl(host);
                break;
            case ControlKind::GroupBox:
                w = new QGroupBox(d.caption, host);
                w->setAttribute(Qt::WA_TransparentForMouseEvents);
                groupBoxes.push_back(w);
                break;
            case ControlKind::Label:
                w = new QLabel(d.caption, host);
                break;
            }
        }
        if (d.kind != ControlKind::AutoRadio) {
            group = (d.style & WS_GROUP) ? nullptr : group;
        }
        w->setProperty(kIdProperty, d.id);
        if (d.id != ID_STATIC) {
            w->setObjectName(QString("ctrl%1").arg(d.id));
        }
        w->setGeometry(DluToPxX(d.x), DluToPxY(d.y), DluToPxX(d.cx), DluToPxY(d.cy));
        if (d.style & WS_DISABLED) {
            w->setEnabled(false);
        }
        if (d.style & NO_TABSTOP) {
            w->setFocusPolicy(Qt::ClickFocus);
        }
        w->setVisible(!(d.style & WS_HIDDEN));
    }
    // Group boxes lie under the controls they frame.
    for (QWidget* g : groupBoxes) {
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

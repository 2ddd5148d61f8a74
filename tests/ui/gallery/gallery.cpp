// Shows the three settings dialogs and a row of image buttons, then saves a picture of the
// screen: a look at the real widgets on a real display (run under xvfb-run).
//   xvfb-run -s "-screen 0 1000x620x24" ./ui_gallery out.png
#include "BtnST.h"
#include "Deinterlacing.h"
#include "ImageTrimDlg.h"
#include "OutputSettings.h"
#include "res/resource.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString out = argc > 1 ? argv[1] : "gallery.png";

    QWidget row;
    row.setWindowTitle("Buttons");
    row.setGeometry(20, 380, 640, 150);
    struct Spec {
        int icon;
        const char* caption;
        bool flat;
    };
    const Spec specs[] = {{IDI_SNAPIT_IN, "Snap It", false}, {IDI_STOP_IN, "Stop", false},
                          {IDI_REWINDFAST_IN, "", true},     {IDI_PLAYBACK_IN, "", true},
                          {IDI_STEPBACK_IN, "", true},       {IDI_PAUSE_IN, "", true},
                          {IDI_STEPFWD_IN, "", true},        {IDI_PLAY_IN, "", true},
                          {IDI_PLAYFAST_IN, "", true}};
    int x = 10;
    std::vector<CBtnST*> buttons;
    for (const Spec& s : specs) {
        auto* b = new CBtnST(&row);
        b->setText(s.caption);
        int w = s.caption[0] ? 93 : 35;
        b->setGeometry(x, 10, w, s.caption[0] ? 26 : 23);
        b->SetIcon(s.icon, s.icon + 1);
        b->SetFlat(s.flat);
        x += w + 8;
        buttons.push_back(b);
    }
    buttons[3]->m_bHover = 1; // one transport button shown hovered
    auto* disabled = new CBtnST(&row);
    disabled->setGeometry(10, 50, 93, 26);
    disabled->setText("Disabled");
    disabled->SetIcon(IDI_SNAPIT_IN, IDI_SNAPIT_OUT);
    disabled->SetFlat(false);
    disabled->setEnabled(false);
    auto* logo = new CBtnST(&row);
    logo->setGeometry(480, 10, 140, 114);
    logo->setEnabled(false);
    logo->m_bDisabledLook = 0;
    logo->SetBitmaps(IDB_LOGO, LOGO_TRANSPARENT_COLOR, 0, 0);
    logo->DrawTransparent(false);
    row.show();

    CImageTrimDlg trim(nullptr, {});
    trim.OnInitDialog();
    trim.move(20, 20);
    trim.show();
    CDeinterlacing dein(nullptr);
    dein.OnInitDialog();
    dein.move(340, 20);
    dein.show();
    COutputSettings quality(nullptr, {});
    quality.OnInitDialog();
    quality.move(340, 190);
    quality.show();

    QTimer::singleShot(800, [&] {
        QApplication::primaryScreen()->grabWindow(0).save(out);
        app.quit();
    });
    return app.exec();
}

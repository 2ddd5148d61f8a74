// The program's entry: the application object's start-up, then the event loop until Exit.
#include "Stillo.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CStilloApp theApp;
    if (!theApp.InitInstance(QApplication::arguments())) {
        return 1;
    }
    return QApplication::exec();
}

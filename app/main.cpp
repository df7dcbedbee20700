#include "UniMain.h"

#include <QApplication>
#include <QLoggingCategory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // A machine without a sound device is normal here; its warnings would only be noise.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.multimedia*=false"));
    TfrmMain window;
    window.show();
    return app.exec();
}

// Draws the window as a technician sees it into a PNG, without a display: for the README's
// pictures and for looking at a layout change.
// Usage: window-shot OUT.png [PAGE] [FOLDER] [PORT BUTTON]
// With PORT and BUTTON, PORT is typed into the top bar and the button (by its object name, e.g.
// btSet or btFont) pressed first, so the status bar shows what that job left there.
#include "UniMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() == 5) {
        fprintf(stderr, "usage: window-shot OUT.png [PAGE] [FOLDER] [PORT BUTTON]\n");
        return 2;
    }
    QTemporaryDir scratch;
    const QString folder = args.size() > 3 ? args[3] : scratch.path();
    // Messages are not part of the picture.
    TfrmMain::FDefaultSeams.FShowMessage = [](const QString&, const QString&, QMessageBox::Icon,
                                              const QString&) {};
    TfrmMain window(folder);
    if (args.size() > 2)
        window.PageControl1->setCurrentIndex(args[2].toInt());
    // The first logo entry selected, so its preview shows.
    if (window.ListLogo->count() > 0)
        window.ListLogo->setCurrentRow(0);
    window.show();
    QApplication::processEvents();
    if (args.size() > 5) {
        auto* button = window.findChild<QAbstractButton*>(args[5]);
        if (!button) {
            fprintf(stderr, "window-shot: no button %s\n", qPrintable(args[5]));
            return 2;
        }
        window.ComboPort->setEditText(args[4]);
        // As a mouse press does: the focus goes to the button.
        button->setFocus(Qt::MouseFocusReason);
        button->click();
        QApplication::processEvents();
    }
    const bool saved = window.grab().save(args[1]);
    window.FormDestroy();
    return saved ? 0 : 1;
}

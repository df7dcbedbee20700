#include "UniMain.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QString>

namespace {

QtMessageHandler PreviousHandler = nullptr;

// A machine without a sound device, or without the optional sound files, is normal for this
// tool; Qt's audio layer says so on every start and every sound, partly outside its logging
// categories.
bool IsAudioNoise(const QMessageLogContext& context, const QString& text) {
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    return category.startsWith(QLatin1String("qt.multimedia")) ||
           text.startsWith(QLatin1String("PulseAudioService")) ||
           text.startsWith(QLatin1String("No audio device")) ||
           text.startsWith(QLatin1String("QSoundEffect"));
}

void MessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg && type != QtCriticalMsg && IsAudioNoise(context, text))
        return;
    if (PreviousHandler)
        PreviousHandler(type, context, text);
}

} // namespace

int main(int argc, char* argv[]) {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.multimedia*=false"));
    PreviousHandler = qInstallMessageHandler(MessageHandler);
    QApplication app(argc, argv);
    TfrmMain window;
    window.show();
    return app.exec();
}

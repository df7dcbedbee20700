#pragma once

// Shared helpers for the window tests: capture every message box, sound and file dialog, and a
// fake worker hand-over that records what a job was given and completes it.

#include "Files.h"
#include "UniMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

struct TShownMessage {
    QString FTitle;
    QString FText;
    QMessageBox::Icon FIcon;
    QString FInformative;
};

struct TCaptured {
    QList<TShownMessage> FMessages;
    QStringList FSounds;
    QString FNextFileName;   // what the file dialog "chooses"
    QString FSuggestedName;  // what the last save dialog offered
    QList<TPortInfo> FPorts; // the serial ports "present"
    int FDialogs = 0;

    void Clear() { *this = TCaptured(); }
    QStringList Texts() const {
        QStringList texts;
        for (const auto& m : FMessages)
            texts << m.FText;
        return texts;
    }
};

inline TCaptured& Captured() {
    static TCaptured captured;
    return captured;
}

// Every window created afterwards shows and plays nothing, only records.
inline void InstallCaptureSeams() {
    TfrmMain::FDefaultSeams.FShowMessage = [](const QString& title, const QString& text,
                                              QMessageBox::Icon icon, const QString& informative) {
        Captured().FMessages.append({title, text, icon, informative});
    };
    // The machine's own serial ports must not change what the tests see.
    TfrmMain::FDefaultSeams.FListPorts = [] { return Captured().FPorts; };
    TfrmMain::FDefaultSeams.FPlaySound = [](const QString& path) { Captured().FSounds << path; };
    TfrmMain::FDefaultSeams.FOpenFileName = [] {
        ++Captured().FDialogs;
        return Captured().FNextFileName;
    };
    TfrmMain::FDefaultSeams.FOpenPictureName = [] {
        ++Captured().FDialogs;
        return Captured().FNextFileName;
    };
    TfrmMain::FDefaultSeams.FSaveBundleName = [](const QString& suggested) {
        ++Captured().FDialogs;
        Captured().FSuggestedName = suggested;
        return Captured().FNextFileName;
    };
}

// Saves a picture as a Windows bitmap, making its folder; returns the path.
inline QString SaveBitmap(const QString& path, const QImage& image) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "BMP"))
        qWarning("could not save %s", qPrintable(path));
    return path;
}

// Stands in for the worker: records the job's inputs when it is posted and completes it with
// FResult, at once or after FDuring has run inside the window's wait.
struct TFakeJobs {
    QList<uint8_t> FCodes;
    QByteArray FBlock;
    uint32_t FCmdCode = 0;
    uint32_t FCmdArg = 0;
    int32_t FCmdLength = -1;
    QString FPortName;
    int32_t FBaudRate = 0;
    QByteArray FStream;
    int64_t FStreamPosition = -1;
    QList<QStringList> FFiles;
    uint8_t FResult = 0;
    QString FReason; // why the job failed, when FResult is not 0
    std::function<void()> FDuring;

    void Attach(TfrmMain& w) {
        w.FPostJob = [this, &w](uint8_t code) {
            TCommThread& c = *w.FComm;
            FCodes << code;
            FCmdCode = c.FCmdCode;
            FCmdArg = c.FCmdArg;
            FCmdLength = c.FCmdLength;
            FBlock = QByteArray(reinterpret_cast<const char*>(c.FCmdData),
                                qBound(0, c.FCmdLength, 1024));
            FPortName = w.FPortName;
            FBaudRate = w.FBaudRate;
            FStream = c.FStream.Data();
            FStreamPosition = c.FStream.Position();
            FFiles = {c.FFileNames, c.FFileLabels, c.FFileCommands, c.FFileBases};
            c.FErrorCode = FResult;
            c.FErrorText = FResult ? FReason : QString();
            auto finish = [&w] {
                w.FComm->FDoneEvent.Set();
                QCoreApplication::postEvent(&w, new TJobDoneEvent);
            };
            if (FDuring)
                QTimer::singleShot(0, &w, [this, finish] {
                    FDuring();
                    finish();
                });
            else
                finish();
        };
    }
};

// A window in a fresh folder (no "codepage.ini": the built-in list) whose jobs are faked and
// whose messages are captured.
struct TFakeJobWindow {
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TfrmMain> FWindow;
    TFakeJobs FJobs;

    TfrmMain& W() { return *FWindow; }
    bool OpenWindow() {
        FDir = std::make_unique<QTemporaryDir>();
        if (!FDir->isValid())
            return false;
        FWindow = std::make_unique<TfrmMain>(FDir->path());
        FJobs = TFakeJobs();
        FJobs.Attach(W());
        Captured().Clear();
        return true;
    }
};

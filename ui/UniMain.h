#pragma once

#include "CommThread.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QSoundEffect;
class QStatusBar;
class QTabWidget;
class QToolButton;
class TIniFile;

// The window's effects on the outside world. Each defaults to the real thing (message box,
// sound, file dialog, the worker); tests replace them so nothing ever blocks.
using TShowMessageFn =
    std::function<void(const QString& title, const QString& text, QMessageBox::Icon icon)>;
using TPlaySoundFn = std::function<void(const QString& path)>;
using TOpenFileNameFn = std::function<QString()>;
using TPostJobFn = std::function<void(uint8_t jobCode)>;

struct TWindowSeams {
    TShowMessageFn FShowMessage;
    TPlaySoundFn FPlaySound;
    TOpenFileNameFn FOpenFileName;
    TOpenFileNameFn FOpenPictureName;
};

// The tool's one window: top bar (port and rate), six pages, status bar. It owns the worker
// thread and hands it one job at a time. The window's own FPortName and FBaudRate (from
// TJobOrigin) are what the worker reads at the start of each job.
class TfrmMain : public QMainWindow, public TJobOrigin {
    Q_OBJECT

public:
    static constexpr int32_t MaxTextBlock = MaxCommandData; // longest block a frame carries
    static inline const QString DefaultCaption = QStringLiteral("NUV SERIES PRINTER TOOL");

    // appPath: the folder holding config.ini and friends, with or without a trailing slash;
    // empty means the executable's folder. Runs FormCreate.
    explicit TfrmMain(const QString& appPath = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Seams a new window starts with where they are set (so that even messages shown while the
    // window is being created can be captured).
    static inline TWindowSeams FDefaultSeams;

    TShowMessageFn FShowMessage;
    TPlaySoundFn FPlaySound;
    TOpenFileNameFn FOpenFileName;    // "" when cancelled
    TOpenFileNameFn FOpenPictureName; // the logo picture chooser; "" when cancelled
    TPostJobFn FPostJob;              // defaults to the worker's PostJob

    // The executable's name without extension; title of the job result boxes.
    static QString AppTitle();

    // Start-up and shutdown (settings files, worker). FormDestroy runs once; later calls do
    // nothing.
    void FormCreate();
    void FormDestroy();

    // Page handlers.
    void btSetClick();
    void btSetBlueToothClick();
    void btIrCommClick();
    void btFactoryClick();
    void btIncClick();
    void btUpdateClick();
    void btFontClick();
    void btLOGOClick();

    // NVRAM page. BuildLogoImage rebuilds FLogoImage from FLogoFiles and shows why it failed.
    bool BuildLogoImage();
    void actAddLogoExecute();
    void actDeleteExecute();
    void actAddLogoUpdate();
    void actDeleteUpdate();
    // Qt has no idle-time action updates: called after every change of the logo list.
    void UpdateActions();

    // The window's side of a job.
    void RunCommandJob();
    void WaitForJob();
    void ReportJobResult();
    void WMProgress(int32_t done, int32_t total);

    QString StatusPanelText(int panel) const;
    bool FactoryTabShown() const;
    bool JobRunning() const { return FJobRunning; }

    QString FAppPath;
    QStringList FLogoFiles;
    int32_t FLogoSize = 65536;
    int32_t FLogoQuantity = 8;
    int32_t FLogoWidth = 384;
    int32_t FLogoCommand = 45;
    int32_t FLogoPara = 0;
    QByteArray FLogoImage;
    std::unique_ptr<TCommThread> FComm;

    // Top bar.
    QWidget* Panel1 = nullptr;
    QComboBox* ComboPort = nullptr;
    QComboBox* ComboBaud = nullptr;
    QTabWidget* PageControl1 = nullptr;
    // PARA.
    QWidget* TabSheet1 = nullptr;
    QComboBox* ComboSetBaudRate = nullptr;
    QComboBox* ComboCodePage = nullptr;
    QComboBox* ComboDensity = nullptr;
    QComboBox* ComboFont = nullptr;
    QComboBox* comboLineFeed = nullptr;
    QLineEdit* edIdle = nullptr;
    QLineEdit* edOff = nullptr;
    QLineEdit* edMaxFeed = nullptr;
    QLineEdit* edPage = nullptr;
    QPushButton* btSet = nullptr;
    // UPDATE.
    QWidget* TabSheet2 = nullptr;
    QPushButton* btUpdate = nullptr;
    QPushButton* btFont = nullptr;
    // NVRAM.
    QWidget* TabSheet3 = nullptr;
    QAction* actAddLogo = nullptr;
    QAction* actDelete = nullptr;
    QToolButton* btAddLogo = nullptr;
    QToolButton* btDeleteLogo = nullptr;
    QPushButton* btLOGO = nullptr;
    QListWidget* ListLogo = nullptr;
    QMenu* PopupMenu1 = nullptr;
    // BLUE TOOTH.
    QWidget* TabSheet4 = nullptr;
    QLineEdit* edName = nullptr;
    QLineEdit* edPassword = nullptr;
    QPushButton* btSetBlueTooth = nullptr;
    // IrCOMM.
    QWidget* TabSheet5 = nullptr;
    QComboBox* comboIrBaudRate = nullptr;
    QPushButton* btIrComm = nullptr;
    // Factory.
    QWidget* TabFactory = nullptr;
    QLineEdit* edModalName = nullptr;
    QLineEdit* edSerialNo = nullptr;
    QPushButton* btFactory = nullptr;
    QPushButton* btInc = nullptr;

    QStatusBar* StatusBar1 = nullptr;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();
    void LoadCodePages();
    void LoadSettings(const TIniFile& ini);
    void SaveSettings(TIniFile& ini, QStringList& failures) const;
    void SaveConfig();

    // Posts the job whose inputs are stored, waits for it, reports it; job buttons are off
    // meanwhile, and a close asked for meanwhile happens afterwards.
    void RunJob(uint8_t jobCode);
    // The top bar for a download job: the port name as typed, the rate trimmed and converted
    // (throws the conversion error).
    void TakeTopBarAsTyped();
    void SetJobRunning(bool running);
    // Runs a handler body; conversion and file errors end it with their message.
    void Guarded(const std::function<void()>& body);
    void ShowError(const QString& text);
    void PlaySoundFile(const QString& path);
    void SetLogoSpaceLine();

    QLabel* FStatusPanels[2] = {};
    QList<QWidget*> FJobButtons;
    QSoundEffect* FSound = nullptr;
    bool FJobRunning = false;
    bool FLogoBuildOk = true; // the last BuildLogoImage converted every entry
    bool FCloseRequested = false;
    bool FDestroyed = false;
    bool FConfigRead = true; // false: config.ini exists but could not be read; never overwrite it
};

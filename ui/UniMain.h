#pragma once

#include "AppFolder.h"
#include "CommThread.h"
#include "HistoryRecord.h"
#include "LogoImage.h"
#include "PortList.h"
#include "ToolSettings.h"

#include <QByteArray>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class QAction;
class QCloseEvent;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSoundEffect;
class QStatusBar;
class QTabWidget;
class QToolButton;
class TIniFile;
// PORT: an editable drop-down whose list is rebuilt each time it opens, so an adapter plugged in
// after start appears.
// Without the focus it shows the start of a long name (where a path or a peer is named), and the
// whole name is its tooltip.
class TPortCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> FBeforePopup;
    void showPopup() override {
        if (FBeforePopup)
            FBeforePopup();
        QComboBox::showPopup();
    }
    void ShowStart() {
        if (lineEdit() && !hasFocus())
            lineEdit()->setCursorPosition(0);
    }

protected:
    void focusOutEvent(QFocusEvent* e) override {
        QComboBox::focusOutEvent(e);
        ShowStart();
    }
};

// A status bar panel. Its text and tooltip stay whole; what does not fit its width is drawn cut
// with "…". A click runs FOnClick.
class TStatusPanel : public QLabel {
public:
    explicit TStatusPanel(QWidget* parent) : QLabel(parent) {}
    void Show(const QString& text) {
        setText(text);
        setToolTip(text);
    }
    // The text as drawn.
    QString ShownText() const;
    QSize minimumSizeHint() const override;
    std::function<void()> FOnClick;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// The PORT list: "COM1" to "COM9", "TCP/IP", then each serial port present, shown as its device
// name with the system's description. Each entry's data is what choosing it puts into PORT.
struct TPortItem {
    QString FText;
    QString FPortName;
};
QList<TPortItem> PortListItems(const QList<TPortInfo>& present);

// A conversion or range error in one field: the message, and the field by the name the
// technician sees ("OFF TIME on the PARA page"), which then takes the focus.
class EFieldError : public std::runtime_error {
public:
    EFieldError(const QString& message, const QString& fieldName, QWidget* field)
        : std::runtime_error(message.toStdString()), FFieldName(fieldName), FField(field) {}
    QString Message() const { return QString::fromStdString(what()); }
    QString FFieldName;
    QWidget* FField;
};

// The window's effects on the outside world. Each defaults to the real thing (message box,
// sound, file dialog, the worker); tests replace them so nothing ever blocks.
// A message box: its title, its text, its icon and a second line (the informative text: why,
// and what to try), which may be empty.
using TShowMessageFn = std::function<void(const QString& title, const QString& text,
                                          QMessageBox::Icon icon, const QString& informative)>;
using TPlaySoundFn = std::function<void(const QString& path)>;
using TOpenFileNameFn = std::function<QString()>;
// A file to write, starting from `suggested`; "" when cancelled.
using TSaveFileNameFn = std::function<QString(const QString& suggested)>;
using TPostJobFn = std::function<void(uint8_t jobCode)>;

using TListPortsFn = std::function<QList<TPortInfo>()>;
using TAppFolderFn = std::function<TAppFolder()>;

struct TWindowSeams {
    TShowMessageFn FShowMessage;
    TPlaySoundFn FPlaySound;
    TOpenFileNameFn FOpenFileName;
    TOpenFileNameFn FOpenPictureName;
    TSaveFileNameFn FSaveBundleName;
    TListPortsFn FListPorts;
    // The files folder of a window created without one; empty: ChooseAppFolder for the
    // executable.
    TAppFolderFn FAppFolder;
};

// The tool's one window: top bar (port and rate), six pages, status bar. It owns the worker
// thread and hands it one job at a time. The window's own FPortName and FBaudRate (from
// TJobOrigin) are what the worker reads at the start of each job.
class TfrmMain : public QMainWindow, public TJobOrigin {
    Q_OBJECT

public:
    static constexpr int32_t MaxTextBlock = MaxCommandData; // longest block a frame carries
    static inline const QString DefaultCaption = QStringLiteral("NUV SERIES PRINTER TOOL");
    // The window's name and version in the history and the support bundle.
    static inline const QString ProgramName = QStringLiteral("NUV_II_Tool");
    static QString ProgramVersion();

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
    TSaveFileNameFn FSaveBundleName;  // where the support bundle goes; "" when cancelled
    TPostJobFn FPostJob;              // defaults to the worker's PostJob
    // The serial ports present; the PORT list asks each time it opens.
    TListPortsFn FListPorts;
    // Monotonic nanoseconds for the transfer speed; replaceable so tests can step the clock.
    std::function<int64_t()> FNowNs;

    // The executable's name without extension; title of the job result boxes.
    static QString AppTitle();
    // The message box FShowMessage shows by default: a path in its texts stays on one line
    // where the box's width allows, and a copy of its text (Ctrl+C) is the text as given.
    static std::unique_ptr<QMessageBox> NewMessageBox(QWidget* parent, const QString& title,
                                                      const QString& text, QMessageBox::Icon icon,
                                                      const QString& informative);
    // text with the break opportunities inside its paths (words holding a "/") taken away.
    static QString KeepPathsWhole(const QString& text);

    // A close asked for from outside (a signal): from now on no message waits on a box; each
    // goes to stderr instead.
    void SendMessagesToStderr() { FMessagesToStderr = true; }

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
    // Shows the selected entry's record in the preview, or its message.
    void ShowLogoPreview();
    // The preview before scaling: the record's dots, black on white, at the left of a strip as
    // wide as the printer (WIDTH); a null image when nothing is shown.
    QImage PreviewImage() const { return FPreviewImage; }
    static constexpr int LogoPreviewWidth = 200;
    static constexpr int LogoPreviewHeight = 120;

    // What a job's history line says besides the worker's result.
    struct TJobRecord {
        QString FJob;       // one of historyjob
        QStringList FFiles; // the files it sends
        QString FSerial;    // the serial number it writes
    };

    // The window's side of a job.
    void RunCommandJob(const TJobRecord& record);
    void WaitForJob();
    // historyError: why the job's history line could not be written; empty when it was.
    void ReportJobResult(const QString& historyError = QString());

    // Asks where to save the support bundle, writes it and says how that went.
    void actSupportBundleExecute();
    void WMProgress(int32_t done, int32_t total);

    // Rebuilds the PORT list from FListPorts, keeping what PORT holds.
    void RefreshPortList();

    QString StatusPanelText(int panel) const;
    // The last failure (a job's, or a refusal before a job) as its box showed it; a click on
    // status panel 1 shows it again with its time.
    struct TFailureBox {
        QString FTitle;
        QString FText;
        QMessageBox::Icon FIcon = QMessageBox::NoIcon;
        QString FInformative;
        QDateTime FTime;
    };
    std::optional<TFailureBox> LastFailure() const { return FLastFailure; }
    void ShowLastFailure();
    // The widest text status panel 0 must show in full: a progress line or the space line of
    // the configured SIZE.
    QStringList StatusPanel0Texts() const;
    TStatusPanel* StatusPanel(int panel) const { return FStatusPanels[panel]; }
    bool FactoryTabShown() const;
    bool JobRunning() const { return FJobRunning; }

    QString FAppPath;
    // Why settings and logs cannot be kept in FAppPath; empty when they can.
    QString FFolderProblem;
    QStringList FLogoFiles;
    int32_t FLogoSize = setting::LogoSize.FDefault;
    int32_t FLogoQuantity = setting::LogoQuantity.FDefault;
    int32_t FLogoWidth = setting::LogoWidth.FDefault;
    int32_t FLogoCommand = setting::LogoCommand.FDefault;
    int32_t FLogoPara = setting::LogoPara.FDefault;
    QByteArray FLogoImage;
    std::unique_ptr<TCommThread> FComm;

    // Top bar.
    QWidget* Panel1 = nullptr;
    TPortCombo* ComboPort = nullptr;
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
    // Ctrl+Shift+B and the status bar's context menu: save a support bundle.
    QAction* actSupportBundle = nullptr;
    // The selected entry as the printer prints it, scaled to fit; its size or why it failed.
    QLabel* LogoPreview = nullptr;
    QLabel* LogoPreviewText = nullptr;
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
    // Beside the progress text while a transfer runs: the same share, with speed and time left.
    QProgressBar* ProgressBar1 = nullptr;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();
    void LoadCodePages();
    void LoadSettings(const TIniFile& ini);
    void SaveSettings(TIniFile& ini, QStringList& failures) const;
    void SaveConfig();

    // Posts the job whose inputs are stored, waits for it, reports it; job buttons are off
    // meanwhile, and a close asked for meanwhile happens afterwards.
    void RunJob(uint8_t jobCode, const TJobRecord& record);
    // A block of two texts (the Bluetooth and factory pages): packed and sent, or refused when
    // together they are too long, naming the fields.
    void RunTextPairJob(uint16_t command, const QByteArray& first, const QByteArray& second,
                        bool trailingZero, const QString& firstName, const QString& secondName,
                        const TJobRecord& record);
    // The job's history line as far as it is known before the job runs.
    THistoryRecord HistoryStart(const TJobRecord& record) const;
    // Completes it with the worker's result and appends it; why not when it could not be.
    QString AppendHistory(THistoryRecord record, double seconds) const;
    void CreateSupportAction();
    // The top bar for a download job: the port name as typed, the rate trimmed and converted
    // (throws the conversion error).
    void TakeTopBarAsTyped();
    // The top bar's rate, trimmed; refused when it does not convert or is not positive.
    int32_t TopBarRate() const;
    // A page's field by the name the technician sees: its label and its page ("OFF TIME on the
    // PARA page").
    QString FieldName(const QWidget* field) const;
    // A rate field's value (the text converted as it stands); refused when it does not convert
    // or is not positive.
    int32_t RateField(QComboBox* combo) const;
    // An edit's value (the shown text, trimmed); refused when it does not convert.
    int32_t NumberField(QLineEdit* edit) const;
    // Remembers a datagram peer typed into PORT, for the next "TCP/IP" and for config.ini.
    void TakeTypedPeer();
    void SetJobRunning(bool running);
    // Runs a handler body; conversion and file errors end it with their message.
    // Runs a handler body before its job; a message shown meanwhile refuses the job.
    void Guarded(const std::function<void()>& body);
    // Every message box of the window. One that refuses a job also replaces what the status
    // panels say about the last job.
    void ShowBox(const QString& title, const QString& text, QMessageBox::Icon icon,
                 const QString& informative);
    void ShowError(const QString& text, const QString& informative = QString());
    // A new job, or the refusal of one: the panels' texts about the last job go.
    void ForgetLastJob();
    void SetFailure(const TFailureBox& box, const QString& panelText);
    void ShowFieldError(const EFieldError& e);
    void SizeStatusPanels();
    void StartTransferDisplay();
    void PlaySoundFile(const QString& path);
    void SetLogoSpaceLine();

    TStatusPanel* FStatusPanels[2] = {};
    bool FPanel0Progress = false; // panel 0 shows a transfer's progress, not the space line
    std::optional<TFailureBox> FLastFailure;
    bool FBeforeJob = false; // a job handler runs and has not posted its job yet
    bool FMessagesToStderr = false;
    // The transfer being shown: when its first progress came, and the latest.
    int64_t FTransferStartNs = 0;
    int32_t FTransferStartDone = 0;
    int32_t FTransferTotal = -1;
    QList<QWidget*> FJobButtons;
    QPointer<QWidget> FFocusBeforeJob;
    QSoundEffect* FSound = nullptr;
    bool FJobRunning = false;
    bool FLogoBuildOk = true; // the last BuildLogoImage converted every entry
    // Conversions kept between rebuilds of the list; a file is read again only when it changed.
    TLogoConverter FLogoConverter;
    QImage FPreviewImage;
    bool FCloseRequested = false;
    bool FDestroyed = false;
    bool FConfigRead = true; // false: config.ini exists but could not be read; never overwrite it
};

// The window's controls: names, captions, labels, items and defaults. Behaviour lives in the
// page sources.

#include "UniMain.h"

#include "CodePageList.h"
#include "LogoImage.h"
#include "ToolSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int ProgressBarWidth = 150;

template <class TCombo = QComboBox>
TCombo* NewCombo(QWidget* parent, const QString& name, const QStringList& items, int index) {
    auto* combo = new TCombo(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    // Typed text must never turn into a new item.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    combo->setCurrentIndex(index);
    return combo;
}

// The rates right-aligned, lowest first.
QStringList RateItems() {
    QStringList items;
    for (const int32_t rate : PrinterRatesAscending())
        items << QStringLiteral("%1").arg(rate, 6);
    return items;
}

// A rate drop-down showing the key's default.
QComboBox* NewRateCombo(QWidget* parent, const QString& name, const TIntSetting& key) {
    const QStringList items = RateItems();
    return NewCombo(parent, name, items, int(PrinterRatesAscending().indexOf(key.FDefault)));
}

QComboBox* NewChoiceCombo(QWidget* parent, const QString& name, const TIntSetting& key,
                          const QStringList& entries) {
    return NewCombo(parent, name, entries, key.FDefault);
}

// As many optional digits as the key's largest value has, blank fill; the key's default.
QLineEdit* NewMaskedEdit(QWidget* parent, const QString& name, const TIntSetting& key) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    const int digits = int(QString::number(key.FMax.value_or(0)).size());
    edit->setInputMask(QString(digits, QLatin1Char('0')) + QStringLiteral("; "));
    edit->setText(QString::number(key.FDefault));
    return edit;
}

QLineEdit* NewEdit(QWidget* parent, const QString& name, const QString& text) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setText(text);
    return edit;
}

// caption may mark its Alt shortcut letter with "&".
QPushButton* NewButton(QWidget* parent, const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QLabel* NewLabel(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    if (buddy) {
        label->setObjectName(QStringLiteral("lb_") + buddy->objectName());
        label->setBuddy(buddy);
    }
    return label;
}

QLabel* NewUnit(QWidget* parent, const QString& text, QWidget* of) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("unit_") + of->objectName());
    return label;
}

QWidget* NewPage(QTabWidget* tabs, const QString& name, const QString& caption) {
    auto* page = new QWidget(tabs);
    page->setObjectName(name);
    tabs->addTab(page, caption);
    return page;
}

QFont WindowFont() {
    const QStringList families = QFontDatabase::families();
    if (families.contains(QStringLiteral("Courier New")))
        return QFont(QStringLiteral("Courier New"));
    const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontInfo(system).fixedPitch())
        return system;
    // Some systems map "monospace" to a font that is not fixed pitch after all.
    for (const char* name : {"DejaVu Sans Mono", "Liberation Mono", "Nimbus Mono PS"}) {
        if (families.contains(QLatin1String(name)) &&
            QFontDatabase::isFixedPitch(QLatin1String(name)))
            return QFont(QLatin1String(name));
    }
    for (const QString& family : families) {
        if (QFontDatabase::isFixedPitch(family) && !QFontDatabase::isPrivateFamily(family))
            return QFont(family);
    }
    return system;
}

} // namespace

void TfrmMain::CreateControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(DefaultCaption);
    // A dialog-like frame: fixed size, no minimise or maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(536, 322);
    move(192, 114);
    // The whole reason and the whole port name are tooltips; they must show whether or not the
    // window has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    QFont font = WindowFont();
    font.setPixelSize(12);
    setFont(font);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    // Top bar.
    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(41);
    QFont topFont = font;
    topFont.setPixelSize(16);
    Panel1->setFont(topFont);
    ComboPort = NewCombo<TPortCombo>(Panel1, QStringLiteral("ComboPort"), {}, -1);
    // Long device descriptions must not widen the window.
    ComboPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboPort->setMinimumContentsLength(8);
    ComboPort->FBeforePopup = [this] { RefreshPortList(); };
    connect(ComboPort, &QComboBox::editTextChanged, ComboPort,
            [combo = ComboPort](const QString& text) {
                combo->setToolTip(text);
                combo->ShowStart();
            });
    RefreshPortList();
    ComboPort->setEditText(QStringLiteral("COM1"));
    // Choosing a present port puts just its device name into PORT.
    connect(ComboPort, &QComboBox::activated, ComboPort, [combo = ComboPort](int index) {
        const QString name = combo->itemData(index).toString();
        if (!name.isEmpty())
            combo->setEditText(name);
    });
    ComboBaud = NewCombo(Panel1, QStringLiteral("ComboBaud"), RateItems(),
                         int(PrinterRatesAscending().indexOf(DeliveredRate)));
    auto* top = new QHBoxLayout(Panel1);
    top->setContentsMargins(8, 4, 8, 4);
    top->addWidget(NewLabel(Panel1, QStringLiteral("PORT:"), ComboPort));
    top->addWidget(ComboPort, 1);
    top->addSpacing(16);
    top->addWidget(NewLabel(Panel1, QStringLiteral("BAUD RATE:"), ComboBaud));
    top->addWidget(ComboBaud, 1);
    column->addWidget(Panel1);

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    column->addWidget(PageControl1, 1);

    // PARA.
    TabSheet1 = NewPage(PageControl1, QStringLiteral("TabSheet1"), QStringLiteral("PARA"));
    ComboSetBaudRate =
        NewRateCombo(TabSheet1, QStringLiteral("ComboSetBaudRate"), setting::ParaBaudRate);
    ComboCodePage = NewChoiceCombo(TabSheet1, QStringLiteral("ComboCodePage"), setting::CodePage,
                                   BuiltInCodePages());
    ComboCodePage->setFixedWidth(300);
    ComboDensity = NewChoiceCombo(TabSheet1, QStringLiteral("ComboDensity"), setting::Density,
                                  setting::Density.FChoices);
    ComboFont = NewChoiceCombo(TabSheet1, QStringLiteral("ComboFont"), setting::Font,
                               setting::Font.FChoices);
    comboLineFeed = NewChoiceCombo(TabSheet1, QStringLiteral("comboLineFeed"), setting::LineFeed,
                                   setting::LineFeed.FChoices);
    edIdle = NewMaskedEdit(TabSheet1, QStringLiteral("edIdle"), setting::Idle);
    edOff = NewMaskedEdit(TabSheet1, QStringLiteral("edOff"), setting::Off);
    edMaxFeed = NewMaskedEdit(TabSheet1, QStringLiteral("edMaxFeed"), setting::MaxFeed);
    edPage = NewMaskedEdit(TabSheet1, QStringLiteral("edPage"), setting::PageLength);
    btSet = NewButton(TabSheet1, QStringLiteral("btSet"), QStringLiteral("&SET"));
    {
        auto* grid = new QGridLayout(TabSheet1);
        grid->setContentsMargins(8, 6, 8, 6);
        grid->setVerticalSpacing(4);
        grid->addWidget(NewLabel(TabSheet1, QStringLiteral("BAUD RATE:"), ComboSetBaudRate), 0, 0);
        grid->addWidget(ComboSetBaudRate, 0, 1);
        grid->addWidget(NewLabel(TabSheet1, QStringLiteral("CODE PAGE:"), ComboCodePage), 1, 0);
        grid->addWidget(ComboCodePage, 1, 1, 1, 4, Qt::AlignLeft);
        grid->addWidget(NewLabel(TabSheet1, QStringLiteral("DENSITY:"), ComboDensity), 2, 0);
        grid->addWidget(ComboDensity, 2, 1);
        grid->addWidget(NewLabel(TabSheet1, QStringLiteral("FONT:"), ComboFont), 3, 0);
        grid->addWidget(ComboFont, 3, 1);
        grid->addWidget(NewLabel(TabSheet1, QStringLiteral("LINE:"), comboLineFeed), 4, 0);
        grid->addWidget(comboLineFeed, 4, 1);
        const struct {
            int row;
            const char* label;
            QLineEdit* edit;
            const char* unit;
        } edits[] = {{0, "IDLE TIME:", edIdle, "s"},
                     {2, "OFF TIME:", edOff, "s"},
                     {3, "MAX FEED:", edMaxFeed, "mm"},
                     {4, "PAGE LEN:", edPage, "mm"}};
        for (const auto& e : edits) {
            grid->addWidget(NewLabel(TabSheet1, QString::fromLatin1(e.label), e.edit), e.row, 2);
            e.edit->setFixedWidth(60);
            grid->addWidget(e.edit, e.row, 3);
            grid->addWidget(NewUnit(TabSheet1, QString::fromLatin1(e.unit), e.edit), e.row, 4);
        }
        grid->addWidget(btSet, 5, 3, 1, 2);
        grid->setColumnStretch(5, 1);
        grid->setRowStretch(6, 1);
    }

    // UPDATE.
    TabSheet2 = NewPage(PageControl1, QStringLiteral("TabSheet2"), QStringLiteral("UPDATE"));
    btUpdate = NewButton(TabSheet2, QStringLiteral("btUpdate"), QStringLiteral("&PROGRAM"));
    btFont = NewButton(TabSheet2, QStringLiteral("btFont"), QStringLiteral("&FONT"));
    {
        auto* row = new QHBoxLayout(TabSheet2);
        row->addStretch(1);
        row->addWidget(btUpdate);
        row->addSpacing(24);
        row->addWidget(btFont);
        row->addStretch(1);
    }

    // NVRAM.
    TabSheet3 = NewPage(PageControl1, QStringLiteral("TabSheet3"), QStringLiteral("NVRAM"));
    actAddLogo = new QAction(QStringLiteral("&ADD"), this);
    actAddLogo->setObjectName(QStringLiteral("actAddLogo"));
    actDelete = new QAction(QStringLiteral("&DELETE"), this);
    actDelete->setObjectName(QStringLiteral("actDelete"));
    // Set explicitly, the buttons' captions keep their shortcut letters.
    actAddLogo->setIconText(actAddLogo->text());
    actDelete->setIconText(actDelete->text());
    btAddLogo = new QToolButton(TabSheet3);
    btAddLogo->setObjectName(QStringLiteral("btAddLogo"));
    btAddLogo->setDefaultAction(actAddLogo);
    btDeleteLogo = new QToolButton(TabSheet3);
    btDeleteLogo->setObjectName(QStringLiteral("btDeleteLogo"));
    btDeleteLogo->setDefaultAction(actDelete);
    btLOGO = NewButton(TabSheet3, QStringLiteral("btLOGO"), QStringLiteral("D&OWNLOAD"));
    ListLogo = new QListWidget(TabSheet3);
    ListLogo->setObjectName(QStringLiteral("ListLogo"));
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(actAddLogo);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(actDelete);
    ListLogo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListLogo, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(ListLogo->viewport()->mapToGlobal(pos));
    });
    {
        auto* page = new QVBoxLayout(TabSheet3);
        auto* row = new QHBoxLayout;
        auto* logoLabel = new QLabel(QStringLiteral("LOGO:"), TabSheet3);
        logoLabel->setObjectName(QStringLiteral("lb_ListLogo"));
        logoLabel->setBuddy(ListLogo);
        row->addWidget(logoLabel);
        row->addStretch(1);
        row->addWidget(btAddLogo);
        row->addWidget(btDeleteLogo);
        row->addWidget(btLOGO);
        page->addLayout(row);
        // The list, and beside it the selected picture as the printer will print it.
        LogoPreview = new QLabel(TabSheet3);
        LogoPreview->setObjectName(QStringLiteral("LogoPreview"));
        LogoPreview->setFixedSize(LogoPreviewWidth, LogoPreviewHeight);
        LogoPreview->setAlignment(Qt::AlignCenter);
        LogoPreview->setFrameShape(QFrame::StyledPanel);
        LogoPreview->setWordWrap(true);
        LogoPreviewText = new QLabel(TabSheet3);
        LogoPreviewText->setObjectName(QStringLiteral("LogoPreviewText"));
        LogoPreviewText->setFixedWidth(LogoPreviewWidth);
        LogoPreviewText->setWordWrap(true);
        auto* preview = new QVBoxLayout;
        preview->addWidget(LogoPreview);
        preview->addWidget(LogoPreviewText);
        preview->addStretch(1);
        auto* lower = new QHBoxLayout;
        lower->addWidget(ListLogo, 1);
        lower->addLayout(preview);
        page->addLayout(lower, 1);
        connect(ListLogo, &QListWidget::currentRowChanged, this, [this] { ShowLogoPreview(); });
    }

    // BLUE TOOTH.
    TabSheet4 = NewPage(PageControl1, QStringLiteral("TabSheet4"), QStringLiteral("BLUE TOOTH"));
    edName = NewEdit(TabSheet4, QStringLiteral("edName"), setting::BtName.FDefault);
    edPassword = NewEdit(TabSheet4, QStringLiteral("edPassword"), setting::BtPin.FDefault);
    btSetBlueTooth = NewButton(TabSheet4, QStringLiteral("btSetBlueTooth"), QStringLiteral("&SET"));
    {
        auto* grid = new QGridLayout(TabSheet4);
        grid->addWidget(NewLabel(TabSheet4, QStringLiteral("DEVICE NAME:"), edName), 0, 0);
        grid->addWidget(edName, 0, 1);
        grid->addWidget(NewLabel(TabSheet4, QStringLiteral("PIN:"), edPassword), 1, 0);
        grid->addWidget(edPassword, 1, 1);
        grid->addWidget(btSetBlueTooth, 2, 1, Qt::AlignLeft);
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(3, 1);
    }

    // IrCOMM.
    TabSheet5 = NewPage(PageControl1, QStringLiteral("TabSheet5"), QStringLiteral("IrCOMM"));
    comboIrBaudRate =
        NewRateCombo(TabSheet5, QStringLiteral("comboIrBaudRate"), setting::IrBaudRate);
    btIrComm = NewButton(TabSheet5, QStringLiteral("btIrComm"), QStringLiteral("&SET"));
    {
        auto* grid = new QGridLayout(TabSheet5);
        grid->addWidget(NewLabel(TabSheet5, QStringLiteral("BAUD RATE:"), comboIrBaudRate), 0, 0);
        grid->addWidget(comboIrBaudRate, 0, 1);
        grid->addWidget(btIrComm, 1, 1, Qt::AlignLeft);
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(2, 1);
    }

    // Factory; its tab is shown only when the settings ask for it.
    TabFactory = NewPage(PageControl1, QStringLiteral("TabFactory"), QStringLiteral("Factory"));
    edModalName = NewEdit(TabFactory, QStringLiteral("edModalName"), QString());
    edSerialNo = NewEdit(TabFactory, QStringLiteral("edSerialNo"), QString());
    btFactory = NewButton(TabFactory, QStringLiteral("btFactory"), QStringLiteral("&SET"));
    btInc = NewButton(TabFactory, QStringLiteral("btInc"), QStringLiteral("+"));
    {
        auto* grid = new QGridLayout(TabFactory);
        grid->addWidget(NewLabel(TabFactory, QStringLiteral("MODAL NAME:"), edModalName), 0, 0);
        grid->addWidget(edModalName, 0, 1);
        grid->addWidget(NewLabel(TabFactory, QStringLiteral("SERIAL NO:"), edSerialNo), 1, 0);
        grid->addWidget(edSerialNo, 1, 1);
        grid->addWidget(btInc, 2, 1, Qt::AlignLeft);
        grid->addWidget(btFactory, 3, 1, Qt::AlignLeft);
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(4, 1);
    }
    PageControl1->setTabVisible(PageControl1->indexOf(TabFactory), false);

    // Status bar: panel 0 progress and logo space, panel 1 the worker's status text.
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(23);
    setStatusBar(StatusBar1);
    for (int i = 0; i < 2; ++i) {
        FStatusPanels[i] = new TStatusPanel(StatusBar1);
        FStatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        FStatusPanels[i]->setTextFormat(Qt::PlainText);
    }
    FStatusPanels[1]->setMinimumWidth(50);
    FStatusPanels[1]->FOnClick = [this] { ShowLastFailure(); };
    ProgressBar1 = new QProgressBar(StatusBar1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setFixedWidth(ProgressBarWidth);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->hide();
    StatusBar1->addWidget(FStatusPanels[0]);
    StatusBar1->addWidget(ProgressBar1);
    StatusBar1->addWidget(FStatusPanels[1], 1);
    SizeStatusPanels();

    // The DELETE key removes the selected logo, as the DELETE action does.
    auto* deleteKey = new QShortcut(QKeySequence::Delete, ListLogo);
    deleteKey->setContext(Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] {
        if (actDelete->isEnabled())
            actDelete->trigger();
    });

    FJobButtons = {btSet, btUpdate, btFont, btLOGO, btSetBlueTooth, btIrComm, btFactory};
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        button->installEventFilter(this);
    connect(btSet, &QPushButton::clicked, this, [this] { btSetClick(); });
    connect(btSetBlueTooth, &QPushButton::clicked, this, [this] { btSetBlueToothClick(); });
    connect(btIrComm, &QPushButton::clicked, this, [this] { btIrCommClick(); });
    connect(btFactory, &QPushButton::clicked, this, [this] { btFactoryClick(); });
    connect(btInc, &QPushButton::clicked, this, [this] { btIncClick(); });
    connect(btUpdate, &QPushButton::clicked, this, [this] { btUpdateClick(); });
    connect(btFont, &QPushButton::clicked, this, [this] { btFontClick(); });
    connect(btLOGO, &QPushButton::clicked, this, [this] { btLOGOClick(); });
    connect(actAddLogo, &QAction::triggered, this, [this] { actAddLogoExecute(); });
    connect(actDelete, &QAction::triggered, this, [this] { actDeleteExecute(); });
}

QList<TPortItem> PortListItems(const QList<TPortInfo>& present) {
    QList<TPortItem> items;
    for (int n = 1; n <= 9; ++n) {
        const QString com = QStringLiteral("COM%1").arg(n);
        items.append({com, com});
    }
    items.append({DatagramPortName, DatagramPortName});
    for (const TPortInfo& port : present) {
        const QString text = port.FDescription.isEmpty()
                                 ? port.FDevice
                                 : QStringLiteral("%1 (%2)").arg(port.FDevice, port.FDescription);
        items.append({text, port.FDevice});
    }
    return items;
}

void TfrmMain::RefreshPortList() {
    const QString text = ComboPort->currentText();
    const QList<TPortItem> items = PortListItems(FListPorts ? FListPorts() : QList<TPortInfo>());
    const QSignalBlocker block(ComboPort);
    ComboPort->clear();
    for (const TPortItem& item : items)
        ComboPort->addItem(item.FText, item.FPortName);
    // What PORT holds stays, and stays selected when it is an entry.
    const int at = ComboPort->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ComboPort->setCurrentIndex(at);
    ComboPort->setEditText(text);
}

QStringList TfrmMain::StatusPanel0Texts() const {
    // The space line is longest when both figures have all the digits SIZE allows.
    const int64_t size = std::max<int64_t>(std::abs(int64_t(FLogoSize)), LogoImageHeadBytes);
    return {QStringLiteral("Finished: 100.0%(65535/65535)"),
            LogoSpaceText(size, static_cast<int32_t>(std::min<int64_t>(2 * size, INT32_MAX))),
            LogoSpaceText(LogoImageHeadBytes, FLogoSize)};
}

void TfrmMain::SizeStatusPanels() {
    QLabel* panel = FStatusPanels[0];
    const QFontMetrics metrics(panel->font());
    int widest = 0;
    for (const QString& text : StatusPanel0Texts())
        widest = std::max(widest, metrics.horizontalAdvance(text));
    const QMargins margins = panel->contentsMargins();
    const int wanted = widest + margins.left() + margins.right() + 2 * panel->margin() + 4;
    // Never wider than leaves room for the progress bar and a glimpse of panel 1.
    const int room = width() - ProgressBarWidth - 80;
    panel->setFixedWidth(std::clamp(wanted, 200, std::max(200, room)));
}

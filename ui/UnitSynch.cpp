// The main window: its controls, start-up, a full synchronisation from start
// to end, the log and the links.
#include "UnitSynch.h"

#include "ClickLabel.h"
#include "DDKError.h"
#include "DDKSystem.h"
#include "FormLook.h"
#include "LogWriter.h"
#include "Pictures.h"
#include "Prompts.h"
#include "Resources.h"
#include "ServiceKeys.h"
#include "ServiceSettings.h"
#include "SevenButton.h"
#include "UnitConfig.h"
#include "UnitMetadata.h"
#include "UnitThread.h"
#include "VantryApplication.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

namespace {

QString Text(const std::string& S)
{
    return QString::fromStdString(S);
}

} // namespace

TFormSynch::TFormSynch(TMainThreadDispatcher& Dispatcher, TPrompts& Prompts)
    : FDispatcher(Dispatcher), FPrompts(Prompts)
{
    CreateControls();
    RunHandler([this] { FormCreate(); });
}

TFormSynch::~TFormSynch()
{
    // FormDestroy: the metadata object, then the lock, which goes with the window.
    FMetadata.reset();
}

void TFormSynch::CreateControls()
{
    setObjectName("FormSynch");
    SetFormLook(*this, "Vantry", QSize(600, 450));
    if (const QScreen* Screen = screen())
        move(Screen->availableGeometry().center() - rect().center());

    PanelTop = new QWidget(this);
    PanelTop->setObjectName("PanelTop");

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setObjectName("MemoLog");
    MemoLog->setFont(PixelFont("Courier New", 11));
    MemoLog->setReadOnly(true);
    MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    const auto Button = [this](const char* Name, const char* Caption, QRect Place, TAnchors::TKind Kind,
                               void (TFormSynch::*Handler)()) {
        auto* Control = new TSevenButton(PanelTop);
        Control->setObjectName(Name);
        Control->SetCaption(QString::fromUtf8(Caption));
        Control->SetAllFonts(WindowFont());
        connect(Control, &TSevenButton::Clicked, this, [this, Handler] { (this->*Handler)(); });
        FAnchors.Place(Control, Place, Kind);
        return Control;
    };
    const auto Label = [this](const char* Name, const QString& Caption, QPoint Place) {
        auto* Control = new QLabel(Caption, PanelTop);
        Control->setObjectName(Name);
        Control->adjustSize();
        FAnchors.Place(Control, QRect(Place, Control->size()));
        return Control;
    };

    Label1 = Label("Label1", "Dossier :", {10, 10});

    EdDir = new QLineEdit(PanelTop);
    EdDir->setObjectName("EdDir");
    FAnchors.Place(EdDir, {60, 6, 376, 22}, TAnchors::Stretched);

    BtBrowse = Button("BtBrowse", "...", {437, 6, 21, 21}, TAnchors::KeptAtRight, &TFormSynch::BtBrowseClick);

    ProgressBar = new QProgressBar(PanelTop);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setTextVisible(false);
    FAnchors.Place(ProgressBar, {60, 30, 376, 17}, TAnchors::Stretched);

    CbRenameFiles = new QCheckBox("Renommer les fichiers", PanelTop);
    CbRenameFiles->setObjectName("CbRenameFiles");
    connect(CbRenameFiles, &QCheckBox::clicked, this,
            [this] { RunHandler([this] { CbRenameFilesClick(); }); });
    FAnchors.Place(CbRenameFiles, {60, 49, 136, 17});

    Label2 =
        Label("Label2", "\"titre FR (titre original) (date de sortie) (réalisateur) (genres) #code.xxx\"",
              {75, 65});
    QFont Italic = WindowFont();
    Italic.setItalic(true);
    Label2->setFont(Italic);
    Label2->adjustSize();
    FAnchors.Place(Label2, QRect(QPoint(75, 65), Label2->size()));

    BtStart = Button("BtStart", "Démarrer la synchronisation", {60, 87, 170, 24}, TAnchors::Fixed,
                     &TFormSynch::BtStartClick);
    BtStop = Button("BtStop", "Stop", {235, 87, 56, 24}, TAnchors::Fixed, &TFormSynch::BtStopClick);
    BtStop->setEnabled(false);

    // Two plain buttons that the layout keeps hidden and that do nothing.
    BtEmule = new QPushButton("Emule", PanelTop);
    BtEmule->setObjectName("BtEmule");
    FAnchors.Place(BtEmule, {330, 87, 75, 25});
    BtMain = new QPushButton("Main", PanelTop);
    BtMain->setObjectName("BtMain");
    FAnchors.Place(BtMain, {410, 87, 75, 25});

    ImgLoading = new TBusySign(PanelTop);
    ImgLoading->setObjectName("ImgLoading");
    FAnchors.Place(ImgLoading, {18, 102, 24, 24});
    ImgLoading->setVisible(false);

    BtAnoAllocine = Button("BtAnoAllocine", "Traiter les anomalies AlloCiné", {60, 117, 170, 24},
                           TAnchors::Fixed, &TFormSynch::BtAnoAllocineClick);
    BtAnoTmdb = Button("BtAnoTmdb", "Traiter les anomalies TMDb", {235, 117, 170, 24}, TAnchors::Fixed,
                       &TFormSynch::BtAnoTmdbClick);
    BtClearLog = Button("BtClearLog", "Ouvrir le fichier journal", {450, 117, 127, 24}, TAnchors::KeptAtRight,
                        &TFormSynch::BtClearLogClick);

    const auto Picture = [this](const char* Name, std::string_view Bytes, QPoint Place) {
        auto* Control = new TClickLabel(PanelTop);
        Control->setObjectName(Name);
        const QPixmap Pixmap = PictureFromResource(Bytes);
        Control->setPixmap(Pixmap);
        Control->setCursor(Qt::PointingHandCursor);
        FAnchors.Place(Control, QRect(Place, Pixmap.size()), TAnchors::KeptAtRight);
        return Control;
    };
    ImgUpdate = Picture("ImgUpdate", VantryResource_update(), {467, 7});
    ImgUpdate->setToolTip("Nouvelle version disponible");
    ImgUpdate->OnClick = [this] { ImgUpdateClick(); };
    ImgAbout = Picture("ImgAbout", VantryResource_logo(), {489, 5});
    ImgAbout->setToolTip(ProductPageUrl);
    ImgAbout->OnClick = [this] { ImgAboutClick(); };

    LbVersion = new QLabel(PanelTop);
    LbVersion->setObjectName("LbVersion");
    LbVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    FAnchors.Place(LbVersion, {489, 63, 90, LbVersion->sizeHint().height()}, TAnchors::KeptAtRight);
}

void TFormSynch::resizeEvent(QResizeEvent* Event)
{
    PanelTop->setGeometry(0, 0, width(), 146);
    MemoLog->setGeometry(0, 146, width(), std::max(0, height() - 146));
    FAnchors.Apply(PanelTop->size());
    QWidget::resizeEvent(Event);
}

void TFormSynch::FormCreate()
{
    BtMain->setVisible(false);
    BtEmule->setVisible(false);
    EdDir->clear();
    CbRenameFiles->setChecked(false);
    FMetadata = std::make_unique<TMetadata>();

    FUpdateUrl.clear();
    FUpdateUrl = Config.CheckUpdate();
    Config.LoadTmdbConfiguration();
    ImgUpdate->setVisible(!FUpdateUrl.empty());

    MemoLog->clear();
    ProgressBar->setValue(0);
    LbVersion->setText(Text("version " + Config.Version));

    // Without an application data folder there is no XBMC settings file to
    // extend, and none is made at the root of the disc.
    const std::string AppData = DDKGetSpecialFolder(DDKFolderAppData);
    if (!AppData.empty())
        FMetadata->CreateXbmcSettings(AppData + "/XBMC/userdata/advancedsettings.xml");

    FThreadCount = 0;
    UpdateAnomalyButtons();
}

void TFormSynch::closeEvent(QCloseEvent* Event)
{
    bool CanClose = false;
    RunHandler([&] { CanClose = FormCloseQuery(); });
    if (CanClose)
        Event->accept();
    else
        Event->ignore();
}

bool TFormSynch::FormCloseQuery()
{
    if (BtStop->isEnabled())
        StopSynch();
    return BtStart->isEnabled();
}

void TFormSynch::ApplyWaits(TSynchThread& Worker) const
{
    Worker.Http().RetryPause = RetryPause;
    Worker.SecondPartWait = SecondPartWait;
}

void TFormSynch::BtStartClick()
{
    SetButtons(false, true);
    try {
        FStopped = false;
        FLogFailureShown = false;
        auto Worker = std::make_unique<TSynchThread>(FDispatcher);
        Worker->RenameFiles = CbRenameFiles->isChecked();
        Worker->SetFolder(EdDir->text().toStdString());
        Worker->OnProgressMax = [this](std::int32_t Value) { ThreadProgressMax(Value); };
        Worker->OnProgress = [this](std::int32_t Value) { ThreadProgress(Value); };
        Worker->OnTerminate = [this](TWorkerThread* Sender) { SynchThreadTerminate(Sender); };
        Worker->OnLog = [this](const std::string& Line) { WorkerLog(Line); };
        ApplyWaits(*Worker);
        FThread = Worker.release();
        FThread->Start();
    } catch (...) {
        FThread = nullptr;
        SetButtons(true, false);
        throw;
    }
}

void TFormSynch::BtStopClick()
{
    StopSynch();
}

void TFormSynch::StopSynch()
{
    FStopped = true;
    if (FThread)
        FThread->Terminate();
}

void TFormSynch::SetButtons(bool Enable, bool StopEnabled)
{
    BtStart->setEnabled(Enable);
    BtAnoAllocine->setEnabled(Enable);
    BtAnoTmdb->setEnabled(Enable);
    BtStop->setEnabled(StopEnabled);
    ImgLoading->setVisible(!Enable);
    if (Enable)
        UpdateAnomalyButtons();
}

void TFormSynch::UpdateAnomalyButtons()
{
    if (FThreadCount > 0)
        return;
    const std::int32_t AllocineCount = ReadAnomaly(SourceAllocine, nullptr);
    const std::int32_t TmdbCount = ReadAnomaly(SourceTmdb, nullptr);
    BtAnoAllocine->SetCaption(QString("Traiter les anomalies Allociné (%1)").arg(AllocineCount));
    BtAnoTmdb->SetCaption(QString("Traiter les anomalies Tmdb (%1)").arg(TmdbCount));
    BtAnoAllocine->setEnabled(AllocineCount > 0);
    BtAnoTmdb->setEnabled(TmdbCount > 0);
}

void TFormSynch::ThreadProgressMax(std::int32_t Value)
{
    // Qt shows an endless busy bar for an empty range; a run with nothing to
    // do shows an empty bar instead.
    ProgressBar->setRange(0, std::max(Value, 1));
    ProgressBar->setValue(0);
}

void TFormSynch::ThreadProgress(std::int32_t Value)
{
    ProgressBar->setValue(Value);
}

void TFormSynch::ThreadLog(const std::string& Line)
{
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    WriteLog(Line, [this](const std::string& Stamped) { ShowLogLine(Stamped); });
}

void TFormSynch::WorkerLog(const std::string& Line)
{
    try {
        ThreadLog(Line);
    } catch (...) {
        // The worker learns of it and ends, but it shows no box itself.
        ReportLogFailure(DDKCurrentErrorMessage());
        throw;
    }
}

void TFormSynch::ReportLogFailure(const std::string& Message)
{
    // Told once, after the worker's call has returned, not once per line.
    if (FLogFailureShown)
        return;
    FLogFailureShown = true;
    QMetaObject::invokeMethod(
        this, [this, Message = HideServiceKeys(Message)] { FPrompts.Message(Message, TPrompts::TKind::Error); },
        Qt::QueuedConnection);
}

void TFormSynch::ShowLogLine(const std::string& Line)
{
    MemoLog->appendPlainText(Text(Line));
    // A run may send hundreds of lines a second, and drawing the view costs
    // far more than a line: it is drawn again at most once a frame.
    if (MemoLog->updatesEnabled()) {
        MemoLog->setUpdatesEnabled(false);
        QTimer::singleShot(20, MemoLog, [this] { MemoLog->setUpdatesEnabled(true); });
    }
}

void TFormSynch::SynchThreadTerminate(TWorkerThread*)
{
    // The worker frees itself once this returns.
    FThread = nullptr;
    SetButtons(true, false);
    if (!FStopped)
        FPrompts.Message("Synchronisation terminée");
}

void TFormSynch::CbRenameFilesClick()
{
    if (!CbRenameFiles->isChecked())
        return;
    FPrompts.Message(
        "En activant cette option, les fichiers sont renommés et perdent donc leur tag officiel.\r\n"
        "De plus, cette application ne vous permet pas de faire machine arrière.",
        TPrompts::TKind::Warning);
    FPrompts.Message(
        "Les opérations de renommage sont systématiquement enregistrés dans le fichier journal.");
}

void TFormSynch::BtBrowseClick()
{
    if (const auto Folder = FPrompts.BrowseFolder(
            "Dossier dans lequel se trouvent les fichiers à synchroniser (*.avi;*.mkv)"))
        EdDir->setText(Text(*Folder));
}

void TFormSynch::BtClearLogClick()
{
    FPrompts.OpenUrl(Config.LogFile);
}

void TFormSynch::ImgUpdateClick()
{
    FPrompts.OpenUrl(FUpdateUrl);
}

void TFormSynch::ImgAboutClick()
{
    FPrompts.OpenUrl(ImgAbout->toolTip().toStdString());
}

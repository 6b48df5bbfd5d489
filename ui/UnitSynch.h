// TFormSynch, the main window: the user picks a movie folder, starts, follows
// and stops a full synchronisation, opens the log, follows the links to a
// newer version and to the program's page, and walks the anomaly records of
// either service (AnomalyWalks.cpp).
//
// Everything here runs on the GUI thread. Workers reach it only through the
// dispatcher, which runs their events and termination callbacks here.
#pragma once

#include "Anchors.h"
#include "UnitTypes.h"

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TBusySign;
class TClickLabel;
class TDDKStringList;
class TFormAnomaly;
class TMainThreadDispatcher;
class TMetadata;
class TPrompts;
class TSevenButton;
class TSynchThread;
class TWorkerThread;

class TFormSynch : public QWidget
{
public:
    // Builds the window and runs FormCreate, whose start-up queries block
    // until they are answered or time out. An error of FormCreate is shown
    // and ends it at that step; the window opens all the same.
    TFormSynch(TMainThreadDispatcher& Dispatcher, TPrompts& Prompts);
    ~TFormSynch() override;

    // The anomaly window that the walks show, created after this window.
    void SetAnomalyWindow(TFormAnomaly* Form) { FormAnomaly = Form; }

    // The waits every worker started here is given; the defaults are the
    // program's, tests shorten them.
    std::chrono::milliseconds RetryPause{10000};
    std::chrono::milliseconds SecondPartWait{10000};

    // --- The window's handlers and methods ------------------------------------

    void FormCreate();
    bool FormCloseQuery();
    void BtStartClick();
    void BtStopClick();
    void StopSynch();
    void SetButtons(bool Enable, bool StopEnabled);
    void UpdateAnomalyButtons();
    void ThreadProgressMax(std::int32_t Value);
    void ThreadProgress(std::int32_t Value);
    void ThreadLog(const std::string& Line);
    void SynchThreadTerminate(TWorkerThread* Sender);
    void CbRenameFilesClick();
    void BtBrowseClick();
    void BtClearLogClick();
    void ImgUpdateClick();
    void ImgAboutClick();

    // --- Anomaly walks ---------------------------------------------------------

    // The number of records of Source in the anomaly folder; their full paths,
    // sorted, into List when given.
    std::int32_t ReadAnomaly(TSource Source, TDDKStringList* List);
    void BtAnoAllocineClick();
    void BtAnoTmdbClick();
    // Starts one single-movie worker, which takes over Movie. Record, when
    // given, is the anomaly record of the choice: it is deleted once the
    // worker has finished the movie, and kept when the worker fails.
    void StartThread(TMode Mode, std::int32_t Code, std::unique_ptr<TMovieInfo> Movie,
                     const std::string& Folder, const std::string& Record = {});
    void AnomalyThreadTerminate(TWorkerThread* Sender);

protected:
    void closeEvent(QCloseEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    void CreateControls();
    // The waits of the window given to a new worker.
    void ApplyWaits(TSynchThread& Worker) const;
    // A worker's log line: a line that cannot be written raises in the worker
    // and is shown once per run.
    void WorkerLog(const std::string& Line);
    // Shows Message, why the log cannot be written, in a box once per run,
    // after the handler that met it has returned.
    void ReportLogFailure(const std::string& Message);
    // Adds a stamped line to the log view.
    void ShowLogLine(const std::string& Line);
    // One walk over the records of Source.
    void WalkAnomalies(TSource Source);
    // Removes an anomaly record; raises with the system's reason when it cannot.
    static void DeleteRecord(const std::string& Record);

    TMainThreadDispatcher& FDispatcher;
    TPrompts& FPrompts;
    TFormAnomaly* FormAnomaly = nullptr;

    // Controls, owned by the window.
    QWidget* PanelTop;
    QPlainTextEdit* MemoLog;
    QLabel* Label1;
    QLineEdit* EdDir;
    TSevenButton* BtBrowse;
    QProgressBar* ProgressBar;
    QCheckBox* CbRenameFiles;
    QLabel* Label2;
    TSevenButton* BtStart;
    TSevenButton* BtStop;
    QPushButton* BtEmule;
    QPushButton* BtMain;
    TBusySign* ImgLoading;
    TSevenButton* BtAnoAllocine;
    TSevenButton* BtAnoTmdb;
    TSevenButton* BtClearLog;
    TClickLabel* ImgUpdate;
    TClickLabel* ImgAbout;
    QLabel* LbVersion;
    TAnchors FAnchors{QSize(600, 146)};

    TSynchThread* FThread = nullptr; // the running full synchronisation; it frees itself
    std::unique_ptr<TMetadata> FMetadata;
    std::recursive_mutex FLock; // the log write and the anomaly-worker count
    bool FStopped = false;
    std::string FUpdateUrl;
    std::int32_t FThreadCount = 0;
    // The record of each running single-movie worker that has one.
    std::map<const TWorkerThread*, std::string> FRecordsInWork;
    bool FLogFailureShown = false; // a log that cannot be written is reported once per run
};

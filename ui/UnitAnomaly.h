// TFormAnomaly, the window in which the user settles one anomaly record at a
// time: it shows the record's search results as rows with their posters,
// opens a result's page, searches the service again with the user's own
// words (ThreadSearch.cpp), and closes with a chosen result, "not findable",
// "ignore" or "cancel".
//
// Everything here runs on the GUI thread; a search thread reaches the window
// only through its termination callback, which the dispatcher runs here, and
// the result model decodes the thumbnails on a thread of its own.
#pragma once

#include "Anchors.h"
#include "ModalForm.h"
#include "ResultRows.h"
#include "UnitTypes.h"

#include <chrono>
#include <cstdint>
#include <string>

class QLineEdit;
class QTableView;
class TBusySign;
class TClickLabel;
class TMainThreadDispatcher;
class TPrompts;
class TResultModel;
class TSevenButton;
class TThreadSearch;

class TFormAnomaly : public TModalForm
{
public:
    // Parent is the main window: the dialog shows centred over it.
    TFormAnomaly(TMainThreadDispatcher& Dispatcher, TPrompts& Prompts, QWidget* Parent = nullptr);
    // A search still running is stopped; its answer then goes nowhere.
    ~TFormAnomaly() override;

    // Shows the record FileName of Source modally and returns how the user
    // closed it: mrOk (SelectedCode holds the chosen code), mrCancel, mrIgnore
    // or mrNo. Raises when the record cannot be read; the window is then not
    // shown.
    int Execute(const std::string& FileName, TSource Source);

    // The code of the result chosen with "OK", -1 otherwise.
    std::int32_t SelectedCode = -1;
    // Members of the record last shown: MovieDir, Title and OriginalTitle of
    // a TMDb record, FileName and McDir of an AlloCine record.
    std::string MovieDir;
    std::string Title;
    std::string OriginalTitle;
    std::string FileName;
    std::string McDir;
    // The wait of each search's HTTP client after a busy answer.
    std::chrono::milliseconds SearchRetryPause{10000};
    // The longest a search may take, its answer and thumbnails together: the
    // thumbnails still missing then show the placeholder.
    std::chrono::milliseconds SearchDeadline{30000};

    // --- The window's handlers and methods ------------------------------------

    void CountResults();
    void RefreshGrid();
    void EnableControls(bool Enable);
    void BtSearchClick();
    // Asks the running search, if any, to end now; it then ends as failed.
    void StopSearch();
    void SearchDone(TThreadSearch& Sender);
    void BtOKClick();
    void BtIgnoreClick();
    void LbLinkClick();
    void GridSearchDblClick();
    // Steps notches of the wheel, positive away from the user.
    void GridSearchMouseWheel(int Steps);
    void GridSearchMouseMove(int X);
    void GridSearchClick(QPoint Position);

protected:
    bool CloseQuery() override;
    void showEvent(QShowEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateControls();

    TMainThreadDispatcher& FDispatcher;
    TPrompts& FPrompts;

    // Controls, owned by the window.
    QWidget* Panel2;
    QLineEdit* EdSearch;
    TSevenButton* BtSearch;
    TBusySign* ImgLoading;
    TClickLabel* LbLink;
    QTableView* GridSearch;
    QWidget* Panel1;
    TSevenButton* BtIgnore;
    TSevenButton* BtUnfound;
    TSevenButton* BtOK;
    TSevenButton* BtCancel;
    TAnchors FSearchAnchors{QSize(700, 34)};
    TAnchors FButtonAnchors{QSize(700, 34)};

    TSource FSource = SourceAllocine;
    std::string FLink;
    TResultSet FResults;
    TResultModel* FModel; // owned by the window, over FResults; keeps the thumbnails
    int FResultCount = 0;
    TThreadSearch* FSearch = nullptr; // the running search, until SearchDone; it frees itself
    int FWheelDelta = 0; // the part of a notch a fine-grained wheel has turned so far
};

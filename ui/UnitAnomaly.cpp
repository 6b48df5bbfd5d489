#include "UnitAnomaly.h"

#include "ClickLabel.h"
#include "Colors.h"
#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "FormLook.h"
#include "Pictures.h"
#include "Prompts.h"
#include "ServiceSettings.h"
#include "SevenButton.h"
#include "VantryApplication.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>

namespace {

QString Text(const std::string& S)
{
    return QString::fromStdString(S);
}

} // namespace

TFormAnomaly::TFormAnomaly(TMainThreadDispatcher& Dispatcher, TPrompts& Prompts, QWidget* Parent)
    : TModalForm(Parent), FDispatcher(Dispatcher), FPrompts(Prompts)
{
    CreateControls();
}

TFormAnomaly::~TFormAnomaly()
{
    StopSearch();
}

void TFormAnomaly::CreateControls()
{
    setObjectName("FormAnomaly");
    SetFormLook(*this, "-", QSize(700, 615));

    Panel2 = new QWidget(this);
    Panel2->setObjectName("Panel2");
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");

    const auto Button = [this](QWidget* Panel, TAnchors& Anchors, const char* Name, const char* Caption,
                               QRect Place, int ModalResult) {
        auto* Control = new TSevenButton(Panel);
        Control->setObjectName(Name);
        Control->SetCaption(QString::fromUtf8(Caption));
        Control->SetAllFonts(WindowFont());
        Control->ModalResult = ModalResult;
        Control->setFocusPolicy(Qt::ClickFocus);
        Anchors.Place(Control, Place, TAnchors::KeptAtRight);
        return Control;
    };
    const auto OnClick = [this](TSevenButton* Control, void (TFormAnomaly::*Handler)()) {
        connect(Control, &TSevenButton::Clicked, this, [this, Handler] { (this->*Handler)(); });
    };

    EdSearch = new QLineEdit(Panel2);
    EdSearch->setObjectName("EdSearch");
    FSearchAnchors.Place(EdSearch, {5, 6, 476, 22}, TAnchors::Stretched);

    BtSearch = Button(Panel2, FSearchAnchors, "BtSearch", "Rechercher", {483, 5, 85, 24}, mrNone);
    BtSearch->Default = true;
    OnClick(BtSearch, &TFormAnomaly::BtSearchClick);

    // The busy sign stays beside the search button when the window widens.
    ImgLoading = new TBusySign(Panel2);
    ImgLoading->setObjectName("ImgLoading");
    FSearchAnchors.Place(ImgLoading, {573, 5, 24, 24}, TAnchors::KeptAtRight);

    LbLink = new TClickLabel(QString::fromUtf8("Fiche AlloCiné"), Panel2);
    LbLink->setObjectName("LbLink");
    QFont LinkFont = WindowFont();
    LinkFont.setUnderline(true);
    LbLink->setFont(LinkFont);
    QPalette LinkPalette = LbLink->palette();
    LinkPalette.setColor(QPalette::WindowText, ColorToRGB(clHotLight));
    LbLink->setPalette(LinkPalette);
    LbLink->setCursor(Qt::PointingHandCursor);
    LbLink->adjustSize();
    LbLink->OnClick = [this] { LbLinkClick(); };
    LbLink->hide();
    FSearchAnchors.Place(LbLink, QRect(QPoint(605, 10), LbLink->size()), TAnchors::KeptAtRight);

    FModel = new TResultModel(FResults, this);
    GridSearch = new QTableView(this);
    GridSearch->setObjectName("GridSearch");
    GridSearch->setModel(FModel);
    GridSearch->setItemDelegate(new TResultDelegate(GridSearch));
    GridSearch->horizontalHeader()->hide();
    GridSearch->horizontalHeader()->setStretchLastSection(true);
    GridSearch->verticalHeader()->hide();
    GridSearch->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The grid line below each row comes on top of its 100 pixels.
    GridSearch->verticalHeader()->setMinimumSectionSize(1);
    GridSearch->verticalHeader()->setDefaultSectionSize(TResultDelegate::RowHeight + 1);
    GridSearch->setShowGrid(true);
    GridSearch->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridSearch->setSelectionMode(QAbstractItemView::SingleSelection);
    GridSearch->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridSearch->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    GridSearch->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    GridSearch->setTabKeyNavigation(false);
    GridSearch->viewport()->setMouseTracking(true);
    GridSearch->viewport()->installEventFilter(this);

    BtIgnore = Button(Panel1, FButtonAnchors, "BtIgnore", "Ignorer", {324, 4, 85, 24}, mrNone);
    OnClick(BtIgnore, &TFormAnomaly::BtIgnoreClick);
    BtUnfound = Button(Panel1, FButtonAnchors, "BtUnfound", "Introuvable", {414, 4, 85, 24}, mrNo);
    BtOK = Button(Panel1, FButtonAnchors, "BtOK", "OK", {504, 4, 85, 24}, mrOk);
    OnClick(BtOK, &TFormAnomaly::BtOKClick);
    BtCancel = Button(Panel1, FButtonAnchors, "BtCancel", "Annuler", {594, 4, 85, 24}, mrCancel);
    BtCancel->Cancel = true;

    setTabOrder(EdSearch, GridSearch);
}

// --- Showing a record --------------------------------------------------------------

int TFormAnomaly::Execute(const std::string& RecordName, TSource Source)
{
    SelectedCode = -1;
    FLink.clear();
    setWindowTitle("-");
    FResultCount = 0;
    FSource = Source;
    std::string Caption = "-";
    std::string Words;
    std::int32_t Code = 0;

    DDKTagged("[TFormAnomaly.Execute] ", [&] {
        try {
            const std::string Record = DDKLoadFile(RecordName);
            if (DDKSameText(DDKExtractFileExt(RecordName), ".json"))
                FResults.LoadJson(Record, Source);
            else
                FResults.LoadXml(Record, Source);

            std::string Year;
            TDateTime ReleaseDate = 0;
            if (const pugi::xml_document* Xml = FResults.Xml(); Xml && Source == SourceAllocine) {
                McDir = XmlText(*Xml, "/*/mcdir");
                FileName = XmlText(*Xml, "/*/filename");
                Words = XmlText(*Xml, "/*/words");
            } else if (Xml) {
                // Our members are read under whatever root the answer had, as
                // they were written: an error page read as XML has another.
                MovieDir = XmlText(*Xml, "/*/moviedir");
                Title = XmlText(*Xml, "/*/title");
                OriginalTitle = XmlText(*Xml, "/*/originalTitle");
                Year = XmlText(*Xml, "/*/productionYear");
                ReleaseDate = DDKStringToDateTime(XmlText(*Xml, "/*/realeaseDate"), false);
                Code = XmlInteger(*Xml, "/*/code");
                Words = XmlText(*Xml, "/OpenSearchDescription/opensearch:Query/@searchTerms");
            } else if (Source == SourceAllocine) {
                const TJson& Feed = JsonObject(*FResults.Json(), "feed");
                McDir = JsonText(Feed, "mcdir");
                FileName = JsonText(Feed, "filename");
                Words = JsonText(Feed, "words");
            } else {
                const TJson& Root = *FResults.Json();
                MovieDir = JsonText(Root, "moviedir");
                Title = JsonText(Root, "title");
                OriginalTitle = JsonText(Root, "originalTitle");
                Year = JsonText(Root, "productionYear");
                ReleaseDate = DDKStringToDateTime(JsonText(Root, "realeaseDate"), false);
                Code = JsonInteger(Root, "code");
                Words = JsonText(Root, "words");
            }

            if (Source == SourceAllocine)
                Caption = DDKExtractFileName(FileName);
            else if (Source == SourceTmdb)
                Caption = DDKFormat("%s (%s) (%s)", Title.c_str(), OriginalTitle.c_str(), Year.c_str());
            if (ReleaseDate > 0)
                Caption += " (" + DDKFormatDateTime("d mmmm yyyy", ReleaseDate) + ")";
        } catch (...) {
            FResults.Clear();
            throw;
        }
    });

    setWindowTitle(Text(Caption));
    FLink = DDKFormat("http://%s/film/fichefilm_gen_cfilm=%d.html", AllocineWebHost, Code);
    LbLink->setVisible(FSource != SourceAllocine);
    EdSearch->setText(Text(DDKReplaceAll(Words, "+", " ")));
    CountResults();

    if (QWidget* Owner = parentWidget()) {
        QRect Place = frameGeometry();
        Place.moveCenter(Owner->frameGeometry().center());
        move(Place.topLeft());
    }
    const int Result = ShowModal();

    // The set lives as long as its record is shown.
    FResultCount = 0;
    FResults.Clear();
    FModel->Refresh(0);
    return Result;
}

void TFormAnomaly::CountResults()
{
    FResultCount = FResults.Count();
}

void TFormAnomaly::RefreshGrid()
{
    FModel->Refresh(FResultCount);
    BtOK->setEnabled(FResultCount > 0);
    GridSearch->setCurrentIndex(FModel->index(0, 0));
    GridSearch->scrollToTop();
    GridSearch->viewport()->update();
    GridSearch->setFocus();
}

void TFormAnomaly::EnableControls(bool Enable)
{
    ImgLoading->setVisible(!Enable);
    // "Annuler" stays usable during a search: it stops the search.
    for (TSevenButton* Control : {BtIgnore, BtOK, BtUnfound, BtSearch})
        Control->setEnabled(Enable);
}

void TFormAnomaly::showEvent(QShowEvent* Event)
{
    TModalForm::showEvent(Event);
    if (!Event->spontaneous())
        RunHandler([this] { RefreshGrid(); });
}

void TFormAnomaly::resizeEvent(QResizeEvent* Event)
{
    TModalForm::resizeEvent(Event);
    const QSize Size = size();
    Panel2->setGeometry(0, 0, Size.width(), 34);
    Panel1->setGeometry(0, Size.height() - 34, Size.width(), 34);
    GridSearch->setGeometry(0, 34, Size.width(), Size.height() - 68);
    FSearchAnchors.Apply(Panel2->size());
    FButtonAnchors.Apply(Panel1->size());
}

bool TFormAnomaly::CloseQuery()
{
    // No search may outlive the modal loop that waits for its answer: a
    // request to close ("Annuler", Escape, the close box) stops the search
    // instead, and the window stays open to show that it ended.
    StopSearch();
    return BtSearch->isEnabled();
}

// --- Buttons and link ---------------------------------------------------------------

void TFormAnomaly::BtOKClick()
{
    // A code that is not a number, or no movie's (0 when missing, or below),
    // raises: the button then keeps the window open.
    SelectedCode = DDKTagged("[TFormAnomaly.BtOKClick] ", [&] {
        const std::int32_t Code = FResults.Code(GridSearch->currentIndex().row());
        if (Code < 1)
            throw EDDKError(DDKFormat("Le résultat choisi n'a pas de code valide (%d)", Code));
        return Code;
    });
}

void TFormAnomaly::BtIgnoreClick()
{
    if (FPrompts.Confirm("Voulez-vous vraiment ignorer ce film ?"))
        ModalResult = mrIgnore;
}

void TFormAnomaly::LbLinkClick()
{
    FPrompts.OpenUrl(FLink);
}

// --- The grid -----------------------------------------------------------------------

void TFormAnomaly::GridSearchDblClick()
{
    // Not while a search runs: choosing a row would be a request to close.
    if (FResultCount != 0 && BtOK->isEnabled())
        BtOK->Click();
}

void TFormAnomaly::GridSearchMouseWheel(int Steps)
{
    // The view moves by whole rows; the selected row stays where it is.
    QScrollBar* Bar = GridSearch->verticalScrollBar();
    for (; Steps > 0; --Steps)
        Bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    for (; Steps < 0; ++Steps)
        Bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void TFormAnomaly::GridSearchMouseMove(int X)
{
    if (FResultCount == 0)
        return;
    const bool OnThumbnail = X >= 0 && X <= TResultDelegate::ThumbnailWidth;
    GridSearch->viewport()->setCursor(OnThumbnail ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TFormAnomaly::GridSearchClick(QPoint Position)
{
    // Only a click on a row's thumbnail opens its page.
    GridSearchMouseMove(Position.x());
    if (FResultCount == 0 || GridSearch->viewport()->cursor().shape() != Qt::PointingHandCursor)
        return;
    const QModelIndex Index = GridSearch->indexAt(Position);
    if (!Index.isValid() || Index.row() >= FResultCount)
        return;
    if (const std::string Url = FResults.PageUrl(Index.row()); !Url.empty())
        FPrompts.OpenUrl(Url);
}

bool TFormAnomaly::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched != GridSearch->viewport())
        return TModalForm::eventFilter(Watched, Event);
    switch (Event->type()) {
    case QEvent::Wheel: {
        FWheelDelta += static_cast<QWheelEvent*>(Event)->angleDelta().y();
        const int Steps = FWheelDelta / QWheelEvent::DefaultDeltasPerStep;
        FWheelDelta %= QWheelEvent::DefaultDeltasPerStep;
        GridSearchMouseWheel(Steps);
        return true;
    }
    case QEvent::MouseMove:
        GridSearchMouseMove(static_cast<QMouseEvent*>(Event)->position().toPoint().x());
        break;
    case QEvent::MouseButtonRelease: {
        const auto* Mouse = static_cast<QMouseEvent*>(Event);
        if (Mouse->button() == Qt::LeftButton) {
            const QPoint Position = Mouse->position().toPoint();
            RunHandler([this, Position] { GridSearchClick(Position); });
        }
        break;
    }
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton)
            RunHandler([this] { GridSearchDblClick(); });
        break;
    default:
        break;
    }
    return TModalForm::eventFilter(Watched, Event);
}

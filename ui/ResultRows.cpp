#include "ResultRows.h"

#include "Colors.h"
#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "FormLook.h"
#include "Pictures.h"
#include "Resources.h"
#include "ServiceSettings.h"
#include "UnitConfig.h"
#include "UnitMetadata.h"

#include <QPainter>

#include <algorithm>
#include <charconv>
#include <climits>

namespace {

const char* ResultsPath(TSource Source)
{
    return Source == SourceAllocine ? "/feed/movie" : "/OpenSearchDescription/movies/movie";
}

// What names a result's code: the XML path and the JSON member, and the word
// of the service in the poster cache.
const char* CodePath(TSource Source)
{
    return Source == SourceAllocine ? "@code" : "id";
}

const char* CodeMember(TSource Source)
{
    return Source == SourceAllocine ? "code" : "id";
}

const char* ServiceWord(TSource Source)
{
    return Source == SourceAllocine ? "allocine" : "tmdb";
}

// Member reads for painting: a member of another type reads as missing.
std::string SafeText(const TJson& Object, std::string_view Name)
{
    try {
        return JsonText(Object, Name);
    } catch (const std::exception&) {
        return {};
    }
}

const TJson* SafeObject(const TJson& Object, std::string_view Name)
{
    try {
        return JsonHas(Object, Name) && JsonMember(Object, Name).is_object() ? &JsonMember(Object, Name)
                                                                             : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::string FormattedDate(const std::string& Text)
{
    return Text.empty() ? std::string() : DDKFormatDateTime("d mmmm yyyy", DDKStringToDateTime(Text, false));
}

// The first title takes the second's place when the service gives only that one.
void Merge(TResultRow& Row, bool Needed)
{
    if (Needed) {
        Row.Title = Row.SecondTitle;
        Row.SecondTitle.clear();
    }
}

// A code as the cache names it: only a decimal number may name a file there.
std::string CacheCode(const std::string& Text)
{
    return DDKStrToInt64Def(Text, -1) >= 0 ? Text : std::string();
}

// Only a page on the web is handed to the desktop's opener; an address taken
// from an answer could name a local file or program.
std::string WebAddress(const std::string& Url)
{
    return DDKStartsText("http://", Url) || DDKStartsText("https://", Url) ? Url : std::string();
}

// A thumbnail is 75 x 106 or 92 x 138 pixels; a picture that says it is
// larger than this on either side is no thumbnail, and decoding it could take
// gigabytes before any allocation limit looks at it. A real one decodes in a
// millisecond.
constexpr TPictureBounds ThumbnailBounds{2048, std::chrono::milliseconds(500)};

// The cached poster of Base (cache folder, service word and code) in the first
// of its forms held by a plain file, at the size of a row's thumbnail; null
// when none is, or ReadPicture refuses it. Anyone may put a file in the cache
// folder: a pipe or a device is passed over without waiting on it.
QImage CachedPoster(const std::string& Base, const std::atomic<bool>& Stop)
{
    static const std::pair<const char*, const char*> Forms[] = {
        {".gif", "gif"}, {".png", "png"}, {".jpg", "jpeg"}};
    for (const auto& [Extension, Format] : Forms) {
        const std::string Name = Base + Extension;
        if (DDKGetFileSize(Name) < 0)
            continue;
        try {
            return ReadPicture(DDKLoadFile(Name, TMetadata::ThumbnailLimit), Format,
                               QSize(TResultDelegate::ThumbnailWidth, TResultDelegate::RowHeight),
                               ThumbnailBounds, Stop);
        } catch (const std::exception&) {
            return {};
        }
    }
    return {};
}

} // namespace

// --- Result set -----------------------------------------------------------------

void TResultSet::Clear()
{
    FXmlResults = pugi::xpath_node_set();
    FXml.reset();
    FJsonResults = nullptr;
    FJsonCount = 0;
    FJson.reset();
}

void TResultSet::LoadXml(std::string_view Bytes, TSource Source)
{
    Clear();
    FSource = Source;
    auto Document = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result Result =
        Document->load_buffer(Bytes.data(), Bytes.size(), pugi::parse_default | pugi::parse_declaration);
    if (!Result)
        throw EDDKError(DDKFormat("XML: %s at offset %td", Result.description(), Result.offset));
    XmlCheckDepth(*Document);
    FXmlResults = XmlSelect(*Document, ResultsPath(Source));
    FXml = std::move(Document);
}

void TResultSet::LoadJson(std::string_view Bytes, TSource Source)
{
    Clear();
    FSource = Source;
    const char* const ParentName = Source == SourceAllocine ? "feed" : nullptr;
    const char* const Name = Source == SourceAllocine ? "movie" : "results";
    // Only the results a row can show are kept, however many the answer holds.
    std::size_t Total = 0;
    auto Tree =
        std::make_unique<TJson>(JsonParseResults(Bytes, ParentName, Name, TResultModel::MaxRows, &Total));
    const TJson& Parent = ParentName ? JsonObject(*Tree, ParentName) : *Tree;
    FJsonResults = JsonHas(Parent, Name) ? &JsonList(Parent, Name) : nullptr;
    FJsonCount = FJsonResults ? static_cast<int>(std::min<std::size_t>(Total, INT_MAX)) : 0;
    FJson = std::move(Tree);
}

int TResultSet::Count() const
{
    if (FXml)
        return static_cast<int>(FXmlResults.size());
    return FJsonCount;
}

bool TResultSet::Held(int Index) const
{
    if (Index < 0)
        return false;
    if (FXml)
        return static_cast<std::size_t>(Index) < FXmlResults.size();
    return FJsonResults && static_cast<std::size_t>(Index) < FJsonResults->size();
}

pugi::xml_node TResultSet::XmlItem(int Index) const
{
    return FXmlResults[static_cast<std::size_t>(Index)].node();
}

const TJson& TResultSet::JsonItem(int Index) const
{
    return (*FJsonResults)[static_cast<std::size_t>(Index)];
}

TResultRow TResultSet::Row(int Index) const
{
    TResultRow Row;
    if (!Held(Index))
        return Row;
    if (FXml && FSource == SourceAllocine) {
        const pugi::xml_node Item = XmlItem(Index);
        Row.Title = XmlText(Item, "title");
        Row.SecondTitle = XmlText(Item, "originalTitle");
        Merge(Row, Row.Title.empty());
        if (const std::string Year = XmlText(Item, "productionYear"); !Year.empty())
            Row.Title += " (" + Year + ")";
        Row.Date = FormattedDate(XmlText(Item, "release/releaseDate"));
        Row.Directors = XmlText(Item, "castingShort/directors");
        Row.Actors = XmlText(Item, "castingShort/actors");
    } else if (FXml) {
        const pugi::xml_node Item = XmlItem(Index);
        Row.Title = XmlText(Item, "name");
        Row.SecondTitle = XmlText(Item, "original_name");
        Merge(Row, DDKSameText(Row.Title, Row.SecondTitle));
        Row.Date = FormattedDate(XmlText(Item, "released"));
        if (!Row.Date.empty())
            Row.Title += " (" + Row.Date + ")";
        if (!DDKStrToBool(XmlText(Item, "translated")))
            Row.Title += "*";
        Row.Overview = XmlText(Item, "overview");
    } else if (FSource == SourceAllocine) {
        const TJson& Item = JsonItem(Index);
        Row.Title = SafeText(Item, "title");
        Row.SecondTitle = SafeText(Item, "originalTitle");
        Merge(Row, Row.Title.empty());
        std::int32_t Year = 0;
        try {
            Year = JsonInteger(Item, "productionYear");
        } catch (const std::exception&) {
        }
        // A missing year reads 0, which is not shown.
        if (const std::string YearText = std::to_string(Year); YearText.size() > 1)
            Row.Title += " (" + YearText + ")";
        if (const TJson* Release = SafeObject(Item, "release"))
            Row.Date = FormattedDate(SafeText(*Release, "releaseDate"));
        if (const TJson* Casting = SafeObject(Item, "castingShort")) {
            Row.Directors = SafeText(*Casting, "directors");
            Row.Actors = SafeText(*Casting, "actors");
        }
    } else {
        const TJson& Item = JsonItem(Index);
        Row.Title = SafeText(Item, "title");
        Row.SecondTitle = SafeText(Item, "original_title");
        Merge(Row, DDKSameText(Row.Title, Row.SecondTitle));
        Row.Date = FormattedDate(SafeText(Item, "release_date"));
    }
    return Row;
}

std::string TResultSet::CodeText(int Index) const
{
    if (!Held(Index))
        return {};
    if (FXml)
        return CacheCode(XmlText(XmlItem(Index), CodePath(FSource)));
    try {
        return CacheCode(std::to_string(JsonInteger(JsonItem(Index), CodeMember(FSource))));
    } catch (const std::exception&) {
        return {};
    }
}

std::int32_t TResultSet::Code(int Index) const
{
    if (!Held(Index))
        throw EDDKError(DDKFormat("List index out of bounds (%d)", Index));
    if (!FXml)
        return JsonInteger(JsonItem(Index), CodeMember(FSource));
    const std::string Text = DDKTrim(XmlText(XmlItem(Index), CodePath(FSource)));
    std::int32_t Value = 0;
    const char* const End = Text.data() + Text.size();
    const auto [Stop, Error] = std::from_chars(Text.data(), End, Value);
    if (Text.empty() || Error != std::errc() || Stop != End)
        throw EDDKError(DDKFormat("'%s' is not a valid integer value", Text.c_str()));
    return Value;
}

std::string TResultSet::PageUrl(int Index) const
{
    if (!Held(Index))
        return {};
    if (FXml)
        return WebAddress(XmlText(XmlItem(Index), FSource == SourceAllocine ? "linkList/link/@href" : "url"));
    const TJson& Item = JsonItem(Index);
    if (FSource == SourceTmdb) {
        try {
            return DDKFormat("http://%s/movie/%d", TmdbWebHost, JsonInteger(Item, "id"));
        } catch (const std::exception&) {
            return {};
        }
    }
    try {
        if (!JsonHas(Item, "link"))
            return {};
        const TJson& Links = JsonList(Item, "link");
        return Links.empty() || !Links.front().is_object() ? std::string()
                                                           : WebAddress(SafeText(Links.front(), "href"));
    } catch (const std::exception&) {
        return {};
    }
}

// --- Model ----------------------------------------------------------------------

TResultModel::TResultModel(const TResultSet& Results, QObject* Parent)
    : QAbstractListModel(Parent), FResults(Results),
      FPlaceholder(PictureFromResource(VantryResource_nofolder75()))
{
    // One picture at a time, as before: the memory a decoder may take is
    // bounded for one picture, not for ten at once.
    FDecoder.setMaxThreadCount(1);
}

TResultModel::~TResultModel()
{
    FStop->store(true);
    FDecoder.waitForDone();
}

void TResultModel::Refresh(int ResultCount)
{
    beginResetModel();
    FResultCount = ResultCount;
    FStop->store(true);
    ++FGeneration;
    FWaiting = 0;
    // An empty set keeps the pictures of the last one; nothing is painted then.
    if (ResultCount > 0)
        StartThumbnails();
    endResetModel();
}

void TResultModel::StartThumbnails()
{
    FStop = std::make_shared<std::atomic<bool>>(false);
    // The rows beyond these can never be shown.
    const int Shown = std::min(FResults.Count(), MaxRows);
    FThumbnails.assign(static_cast<std::size_t>(Shown), FPlaceholder);
    const std::string Base = Config.CacheDir + "/" + ServiceWord(FResults.Source()) + "-";
    std::vector<std::string> Posters; // the cache name of each row's poster, without its extension
    for (int Index = 0; Index < Shown; ++Index)
        if (const std::string Code = FResults.CodeText(Index); !Code.empty())
            Posters.push_back(Base + Code);
        else
            Posters.emplace_back();
    FWaiting = Shown;
    FDecoder.start([this, Generation = FGeneration, Stop = FStop, Posters = std::move(Posters)] {
        for (std::size_t Row = 0; Row < Posters.size() && !Stop->load(); ++Row) {
            QImage Picture = Posters[Row].empty() ? QImage() : CachedPoster(Posters[Row], *Stop);
            // Queued to the model, which waits for this thread before it goes.
            QMetaObject::invokeMethod(
                this,
                [this, Generation, Row, Picture = std::move(Picture)] {
                    ThumbnailDecoded(Generation, static_cast<int>(Row), Picture);
                },
                Qt::QueuedConnection);
        }
    });
}

void TResultModel::ThumbnailDecoded(unsigned Generation, int Row, const QImage& Picture)
{
    if (Generation != FGeneration)
        return;
    --FWaiting;
    if (Picture.isNull())
        return;
    FThumbnails[static_cast<std::size_t>(Row)] = QPixmap::fromImage(Picture);
    const QModelIndex Changed = index(Row, 0);
    emit dataChanged(Changed, Changed, {Qt::DecorationRole});
}

int TResultModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : std::max(1, std::min(FResultCount, MaxRows));
}

QVariant TResultModel::data(const QModelIndex& Index, int Role) const
{
    if (!Index.isValid() || Index.row() >= FResultCount)
        return {};
    if (Role == Qt::DisplayRole)
        return QString::fromStdString(Row(Index.row()).Title);
    if (Role == Qt::DecorationRole && static_cast<std::size_t>(Index.row()) < FThumbnails.size())
        return FThumbnails[static_cast<std::size_t>(Index.row())];
    return {};
}

Qt::ItemFlags TResultModel::flags(const QModelIndex& Index) const
{
    return Index.isValid() && Index.row() < FResultCount ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                                         : Qt::NoItemFlags;
}

// --- Delegate -------------------------------------------------------------------

void TResultDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                            const QModelIndex& Index) const
{
    const auto* Model = dynamic_cast<const TResultModel*>(Index.model());
    const int RowNumber = Index.row();
    if (!Model || RowNumber >= Model->ResultCount())
        return;
    const TResultRow Row = Model->Row(RowNumber);
    const QRect Cell = Option.rect;
    const bool Selected = Option.state & QStyle::State_Selected;

    Painter->save();
    Painter->setClipRect(Cell);
    Painter->fillRect(Cell, ColorToRGB(Selected ? clHighlight : RowNumber % 2 ? clWhite : clInfoBk));
    if (static_cast<std::size_t>(RowNumber) < Model->Thumbnails().size())
        Painter->drawPixmap(QRect(Cell.left(), Cell.top(), ThumbnailWidth, Cell.height()),
                            Model->Thumbnails()[static_cast<std::size_t>(RowNumber)]);

    Painter->setPen(ColorToRGB(Selected ? clHighlightText : clBlack));
    QRect Text(QPoint(Cell.left() + ThumbnailWidth + 5, Cell.top()), Cell.bottomRight());
    QFont Font = PixelFont("Arial", 16);
    Font.setBold(true);
    Painter->setFont(Font);
    constexpr int SingleLine = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    Painter->drawText(Text, SingleLine, QString::fromStdString(Row.Title));

    Font.setPixelSize(13);
    Font.setBold(false);
    Painter->setFont(Font);
    // Each further line only when it has something to say, one under the other.
    const auto Line = [&](const std::string& Value, int Flags) {
        if (Value.empty())
            return;
        Text.setTop(Text.top() + 18);
        Painter->drawText(Text, Flags, QString::fromStdString(Value));
    };
    Line(Row.SecondTitle.empty() ? std::string() : "(" + Row.SecondTitle + ")", SingleLine);
    Line(Row.Overview.empty() ? Row.Date : Row.Overview, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    Line(Row.Directors.empty() ? std::string() : "de " + Row.Directors, SingleLine);
    Line(Row.Actors.empty() ? std::string() : "avec " + Row.Actors, SingleLine);
    Painter->restore();
}

QSize TResultDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex&) const
{
    return QSize(Option.rect.width(), RowHeight);
}

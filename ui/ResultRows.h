// The results of one search answer as the anomaly window shows them: the
// answer held in the form it came in (an XML document and its result nodes,
// or a JSON tree and its result list, never both), the texts of one row read
// from it on demand, and the list model, which takes the thumbnails from the
// poster cache, and delegate of the result grid.
#pragma once

#include "MetadataValues.h"
#include "UnitTypes.h"

#include <QAbstractListModel>
#include <QImage>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The texts of one row, read from its result.
struct TResultRow
{
    std::string Title;
    std::string SecondTitle;
    std::string Date;
    std::string Overview;
    std::string Directors;
    std::string Actors;
};

class TResultSet
{
public:
    // Replaces the set by the answer or record in Bytes, read as XML or as
    // JSON. A text that does not parse, an AlloCine JSON answer without its
    // "feed" object or an answer nested without end raises, and the set is
    // then empty. A document without a result list has no results.
    void LoadXml(std::string_view Bytes, TSource Source);
    void LoadJson(std::string_view Bytes, TSource Source);
    void Clear();

    // The number of results of the set (CountResults).
    int Count() const;
    TSource Source() const { return FSource; }
    // The document of the set, for the members a record adds beside the
    // results: null when the set is held in the other form, or is empty.
    const pugi::xml_document* Xml() const { return FXml.get(); }
    const TJson* Json() const { return FJson.get(); }

    // The texts of result Index, read now. A member of another type than
    // expected reads as missing: one odd result must not stop the painting.
    TResultRow Row(int Index) const;
    // The code of result Index as the poster cache names it; empty when it
    // has none that can name a file.
    std::string CodeText(int Index) const;
    // The code of result Index as a number; raises when it is not one.
    std::int32_t Code(int Index) const;
    // The address of the result's page on the service's web site; empty when
    // the result gives none, or gives one that is not a web address.
    std::string PageUrl(int Index) const;

private:
    // Whether result Index is held: a JSON set keeps only the results a row
    // can show, and counts the others.
    bool Held(int Index) const;
    pugi::xml_node XmlItem(int Index) const;
    const TJson& JsonItem(int Index) const;

    TSource FSource = SourceAllocine;
    std::unique_ptr<pugi::xml_document> FXml;
    pugi::xpath_node_set FXmlResults;
    std::unique_ptr<TJson> FJson;
    const TJson* FJsonResults = nullptr; // a list inside FJson, cut after the rows it can fill
    int FJsonCount = 0;                  // the results the list held
};

// The result grid's rows over a result set: at most 10, and one row that
// shows nothing while the set is empty. Texts are read from the set at every
// call. The thumbnails, the posters of the poster cache, are decoded away
// from the window's thread, one after the other: a row shows the placeholder
// until its picture is ready, and keeps it when its poster is missing, too
// large, damaged or too slow to decode. They are kept until the next
// non-empty set.
class TResultModel : public QAbstractListModel
{
public:
    static constexpr int MaxRows = 10;

    TResultModel(const TResultSet& Results, QObject* Parent);
    // Stops the decoding and waits for it: nothing decoded reaches a model
    // that is gone.
    ~TResultModel() override;

    // Takes ResultCount results (CountResults), and starts decoding their
    // thumbnails when there are any. The pictures still being decoded for
    // the set before are dropped.
    void Refresh(int ResultCount);

    int ResultCount() const { return FResultCount; }
    const std::vector<QPixmap>& Thumbnails() const { return FThumbnails; }
    // Whether rows of the set still wait for their pictures.
    bool ThumbnailsLoading() const { return FWaiting > 0; }
    TResultRow Row(int Index) const { return FResults.Row(Index); }

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    // The blank row of an empty set cannot be selected, so that nothing shows in it.
    Qt::ItemFlags flags(const QModelIndex& Index) const override;

private:
    void StartThumbnails();
    // On the window's thread: the picture of Row of set Generation, null for the placeholder.
    void ThumbnailDecoded(unsigned Generation, int Row, const QImage& Picture);

    const TResultSet& FResults;
    int FResultCount = 0;
    std::vector<QPixmap> FThumbnails;
    const QPixmap FPlaceholder;
    unsigned FGeneration = 0; // counts the sets: a picture of an earlier one is dropped
    int FWaiting = 0;         // the rows of the set whose picture has not come yet
    // The stop of the decoding under way, shared with it.
    std::shared_ptr<std::atomic<bool>> FStop = std::make_shared<std::atomic<bool>>(false);
    QThreadPool FDecoder; // one thread, owned here
};

// Paints one row: the background by parity and selection, the thumbnail in
// the strip at the left, the title and the further lines beside it.
class TResultDelegate : public QStyledItemDelegate
{
public:
    static constexpr int RowHeight = 100;
    static constexpr int ThumbnailWidth = 75;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
};

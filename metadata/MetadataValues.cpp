#include "MetadataValues.h"

#include "DDKError.h"
#include "DDKStrings.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

namespace {

// The readers ask the same few paths for every movie: each thread builds a
// query once and keeps it.
const pugi::xpath_query& QueryFor(std::string_view Path)
{
    // Paths built from data would grow this without end.
    constexpr std::size_t MostKept = 256;
    thread_local std::unordered_map<std::string, pugi::xpath_query> queries;
    std::string key(Path);
    if (const auto found = queries.find(key); found != queries.end())
        return found->second;
    pugi::xpath_query query(XmlCaseFreePath(Path).c_str());
    if (queries.size() >= MostKept)
        queries.clear();
    return queries.emplace(std::move(key), std::move(query)).first->second;
}

bool IsNameStart(char C)
{
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
}

bool IsNameChar(char C)
{
    return IsNameStart(C) || (C >= '0' && C <= '9') || C == '-' || C == '.' || C == ':';
}

// A name test that ignores ASCII case: the node's own name, folded, compared
// with the folded name. name() keeps a prefix as written, so opensearch:Query
// matches by its prefixed text.
std::string CaseFreeNameTest(std::string_view Name)
{
    return "*[translate(name(),'ABCDEFGHIJKLMNOPQRSTUVWXYZ','abcdefghijklmnopqrstuvwxyz')='" +
           DDKLowerCase(Name) + "']";
}

[[noreturn]] void RaiseType(std::string_view Name, const TJson& Value, const char* Expected)
{
    throw EDDKError(DDKFormat("member \"%.*s\": type must be %s, but is %s", static_cast<int>(Name.size()),
                              Name.data(), Expected, Value.type_name()));
}

// The member Name of Object, or null when Object has none; raises when Object
// itself is not an object.
const TJson* FindMember(const TJson& Object, std::string_view Name)
{
    if (!Object.is_object())
        throw EDDKError(DDKFormat("member \"%.*s\" read from a JSON %s", static_cast<int>(Name.size()),
                                  Name.data(), Object.type_name()));
    const auto found = Object.find(Name);
    return found == Object.end() ? nullptr : &*found;
}

// Builds the tree of an answer as the library's own parser would, but for the
// items of the result list past the first Kept, which are only counted.
class TResultsBuilder : public nlohmann::json_sax<TJson>
{
public:
    TResultsBuilder(const char* Parent, const char* List, std::size_t Kept)
        : FParent(Parent), FList(List), FKept(Kept)
    {
    }

    TJson Root;
    // The length of each result list met, by where the list stands in Root.
    std::unordered_map<const TJson*, std::size_t> Totals;

    bool null() override { return Value(nullptr); }
    bool boolean(bool Flag) override { return Value(Flag); }
    bool number_integer(number_integer_t Number) override { return Value(Number); }
    bool number_unsigned(number_unsigned_t Number) override { return Value(Number); }
    bool number_float(number_float_t Number, const string_t&) override { return Value(Number); }
    bool string(string_t& Text) override { return Value(std::move(Text)); }
    bool binary(binary_t& Bytes) override { return Value(std::move(Bytes)); }
    bool start_object(std::size_t) override { return Open(TJson::object()); }
    bool start_array(std::size_t) override { return Open(TJson::array()); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& Name) override
    {
        if (FSkipped == 0)
            FFrames.back().Key = std::move(Name);
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& Error) override
    {
        throw EDDKError(Error.what());
    }

private:
    struct TFrame
    {
        TJson* Container = nullptr;
        std::string Key;            // of the member being read, in an object
        bool ResultsParent = false; // the object that holds the result list
        bool ResultsList = false;
        std::size_t Items = 0; // of a result list
    };

    // Whether the next value in the innermost container is one to skip, and
    // counts it when it is an item of the result list.
    bool Skipping()
    {
        if (FSkipped > 0)
            return true;
        if (FFrames.empty() || !FFrames.back().ResultsList)
            return false;
        return ++FFrames.back().Items > FKept;
    }

    TJson& Place(TJson&& Item)
    {
        if (FFrames.empty())
            return Root = std::move(Item);
        TJson& Container = *FFrames.back().Container;
        if (Container.is_object())
            return Container[FFrames.back().Key] = std::move(Item);
        Container.push_back(std::move(Item));
        return Container.back();
    }

    bool Value(TJson&& Item)
    {
        if (!Skipping())
            Place(std::move(Item));
        return true;
    }

    bool Open(TJson&& Container)
    {
        if (FFrames.size() + FSkipped >= static_cast<std::size_t>(MaxAnswerDepth))
            RaiseTooDeep();
        if (Skipping()) {
            ++FSkipped;
            return true;
        }
        const bool IsObject = Container.is_object();
        const std::size_t Depth = FFrames.size();
        TFrame Frame;
        Frame.Container = &Place(std::move(Container));
        if (FParent == nullptr)
            Frame.ResultsParent = IsObject && Depth == 0;
        else
            Frame.ResultsParent = IsObject && Depth == 1 && FFrames[0].Key == FParent;
        Frame.ResultsList =
            !IsObject && Depth > 0 && FFrames.back().ResultsParent && FFrames.back().Key == FList;
        FFrames.push_back(std::move(Frame));
        return true;
    }

    bool Close()
    {
        if (FSkipped > 0) {
            --FSkipped;
            return true;
        }
        if (FFrames.back().ResultsList)
            Totals[FFrames.back().Container] = FFrames.back().Items;
        FFrames.pop_back();
        return true;
    }

    const char* FParent;
    const char* FList;
    std::size_t FKept;
    std::vector<TFrame> FFrames;
    std::size_t FSkipped = 0; // containers open inside a skipped item
};

} // namespace

// --- XML ----------------------------------------------------------------------

std::string XmlCaseFreePath(std::string_view Path)
{
    std::string result;
    std::size_t i = 0;
    while (i < Path.size()) {
        const char c = Path[i];
        if (c == '\'' || c == '"') {
            // Literals are compared as written.
            const std::size_t close = Path.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? Path.size() : close + 1;
            result.append(Path.substr(i, end - i));
            i = end;
        } else if (IsNameStart(c)) {
            std::size_t end = i;
            while (end < Path.size() && IsNameChar(Path[end]))
                ++end;
            const std::string_view name = Path.substr(i, end - i);
            if (end < Path.size() && Path[end] == '(')
                result.append(name); // a function such as text()
            else
                result.append(CaseFreeNameTest(name)); // after '@' it tests attributes
            i = end;
        } else {
            result.push_back(c);
            ++i;
        }
    }
    return result;
}

pugi::xpath_node_set XmlSelect(const pugi::xml_node& Context, std::string_view Path)
{
    const pugi::xpath_query& query = QueryFor(Path);
    pugi::xpath_node_set nodes = query.evaluate_node_set(Context);
    nodes.sort();
    return nodes;
}

std::string XmlText(const pugi::xml_node& Context, std::string_view Path)
{
    return QueryFor(Path).evaluate_string(Context);
}

std::int32_t XmlInteger(const pugi::xml_node& Context, std::string_view Path)
{
    // Indented documents put blanks and line breaks around a value.
    return DDKStrToIntDef(DDKTrim(XmlText(Context, Path)), 0);
}

double XmlNumber(const pugi::xml_node& Context, std::string_view Path)
{
    const std::string text = DDKTrim(XmlText(Context, Path));
    double value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value))
        return 0;
    return value;
}

// --- Depth of an answer ----------------------------------------------------------

void RaiseTooDeep()
{
    throw EDDKError(DDKFormat("The answer is nested deeper than %d levels", MaxAnswerDepth));
}

void XmlCheckDepth(pugi::xml_document& Document)
{
    struct TDepthWalker : pugi::xml_tree_walker
    {
        bool for_each(pugi::xml_node&) override { return depth() < MaxAnswerDepth; }
    } Walker;
    if (!Document.traverse(Walker))
        RaiseTooDeep();
}

// --- JSON ---------------------------------------------------------------------

TJson JsonParse(std::string_view Text)
{
    return TJson::parse(Text.begin(), Text.end());
}

TJson JsonParseResults(std::string_view Text, const char* Parent, const char* List, std::size_t Kept,
                       std::size_t* Total)
{
    TResultsBuilder Builder(Parent, List, Kept);
    TJson::sax_parse(Text.begin(), Text.end(), &Builder);
    if (Total == nullptr)
        return std::move(Builder.Root);
    // The list that stands in the tree: of members named alike, the last.
    *Total = 0;
    const TJson* Holder = &Builder.Root;
    if (Parent != nullptr && Holder->is_object() && Holder->contains(Parent))
        Holder = &(*Holder)[Parent];
    if (Holder->is_object() && Holder->contains(List))
        if (const auto Found = Builder.Totals.find(&(*Holder)[List]); Found != Builder.Totals.end())
            *Total = Found->second;
    return std::move(Builder.Root);
}

const TJson& JsonMember(const TJson& Object, std::string_view Name)
{
    const TJson* member = FindMember(Object, Name);
    if (!member)
        throw EDDKError(DDKFormat("member \"%.*s\" is missing", static_cast<int>(Name.size()), Name.data()));
    return *member;
}

const TJson& JsonObject(const TJson& Object, std::string_view Name)
{
    const TJson& member = JsonMember(Object, Name);
    if (!member.is_object())
        RaiseType(Name, member, "object");
    return member;
}

const TJson& JsonList(const TJson& Object, std::string_view Name)
{
    const TJson& member = JsonMember(Object, Name);
    if (!member.is_array())
        RaiseType(Name, member, "array");
    return member;
}

bool JsonHas(const TJson& Object, std::string_view Name)
{
    return FindMember(Object, Name) != nullptr;
}

const TJson* JsonFind(const TJson& Object, std::string_view Name)
{
    return FindMember(Object, Name);
}

const TJson* JsonFindList(const TJson& Object, std::string_view Name)
{
    const TJson* member = FindMember(Object, Name);
    if (member != nullptr && !member->is_array())
        RaiseType(Name, *member, "array");
    return member;
}

std::int32_t JsonInteger(const TJson& Object, std::string_view Name)
{
    const TJson* member = FindMember(Object, Name);
    if (!member)
        return 0;
    double value = 0;
    if (member->is_number_integer())
        value = static_cast<double>(member->get<std::int64_t>());
    else if (member->is_number_unsigned())
        value = static_cast<double>(member->get<std::uint64_t>());
    else if (member->is_number_float())
        value = std::trunc(member->get<double>());
    else
        RaiseType(Name, *member, "number");
    if (!(value >= std::numeric_limits<std::int32_t>::min() &&
          value <= std::numeric_limits<std::int32_t>::max()))
        throw EDDKError(
            DDKFormat("member \"%.*s\": number out of range", static_cast<int>(Name.size()), Name.data()));
    return static_cast<std::int32_t>(value);
}

double JsonFloat(const TJson& Object, std::string_view Name)
{
    const TJson* member = FindMember(Object, Name);
    if (!member)
        return 0;
    if (!member->is_number())
        RaiseType(Name, *member, "number");
    return member->get<double>();
}

std::string JsonText(const TJson& Object, std::string_view Name)
{
    const TJson* member = FindMember(Object, Name);
    if (!member)
        return {};
    if (!member->is_string())
        RaiseType(Name, *member, "string");
    return member->get<std::string>();
}

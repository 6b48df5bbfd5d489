#include "MetadataValues.h"

#include "DDKError.h"
#include "DDKStrings.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>

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
    const auto found = Object.find(std::string(Name));
    return found == Object.end() ? nullptr : &*found;
}

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

void JsonCheckDepth(std::string_view Text)
{
    int Depth = 0;
    bool InString = false;
    for (std::size_t Index = 0; Index < Text.size(); ++Index) {
        const char C = Text[Index];
        if (InString) {
            if (C == '\\')
                ++Index; // the escaped character, a quote maybe, stays in the string
            else if (C == '"')
                InString = false;
        } else if (C == '"') {
            InString = true;
        } else if (C == '{' || C == '[') {
            if (++Depth > MaxAnswerDepth)
                RaiseTooDeep();
        } else if ((C == '}' || C == ']') && Depth > 0) {
            --Depth;
        }
    }
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

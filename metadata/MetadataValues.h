// How TMetadata reads single values out of a parsed answer, in either form.
//
// XML: paths are a small XPath subset (steps separated by '/', a leading '/'
// for the document, '@name' for an attribute, predicates comparing an
// attribute or a child with a quoted literal). Element and attribute names in
// them match without regard to ASCII case, and a prefixed name such as
// opensearch:Query matches by its prefixed text.
//
// JSON: a member is looked up by its exact name. An absent member reads as 0
// or as the empty text; a member of another type, null included, raises.
#pragma once

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// --- XML ----------------------------------------------------------------------

// Path rewritten as an XPath expression whose name tests ignore ASCII case.
std::string XmlCaseFreePath(std::string_view Path);
// Every node Path selects from Context, in document order.
pugi::xpath_node_set XmlSelect(const pugi::xml_node& Context, std::string_view Path);
// The string value of the first node selected; empty when none is.
std::string XmlText(const pugi::xml_node& Context, std::string_view Path);
// XmlText read as a decimal integer; 0 when nothing is selected or it is not one.
std::int32_t XmlInteger(const pugi::xml_node& Context, std::string_view Path);
// XmlText read as a decimal number with '.'; 0 when nothing is selected or it is not one.
double XmlNumber(const pugi::xml_node& Context, std::string_view Path);

// --- Depth of an answer ----------------------------------------------------------

// The services' answers stay a few levels deep. One nested without end would
// cost a reader its stack, or a writer gigabytes, so deeper ones are refused.
inline constexpr int MaxAnswerDepth = 64;

// Raises "The answer is nested deeper than 64 levels".
[[noreturn]] void RaiseTooDeep();
// Raises as RaiseTooDeep when Document is nested deeper than MaxAnswerDepth.
void XmlCheckDepth(pugi::xml_document& Document);
// --- JSON ---------------------------------------------------------------------

using TJson = nlohmann::json;

// The most results a search answer can hold: the ten an AlloCine search asks
// for, TMDb's first page. Those of an answer that holds more are left out, or
// one of thousands of results would cost the reader a gigabyte.
inline constexpr int AllocineSearchResults = 10;
inline constexpr int TmdbSearchResults = 20;

// Parses a whole answer of which only the first Kept results are ever used:
// its result list, the member List of the root object or, when Parent is
// given, of the root's member Parent, keeps only those, and Total (when
// given) receives how many it held. The tree stays small whatever the
// answer's length; a text nested deeper than MaxAnswerDepth is refused.
TJson JsonParseResults(std::string_view Text, const char* Parent, const char* List, std::size_t Kept,
                       std::size_t* Total = nullptr);
// Parses a whole answer; raises with the library's message when it is not JSON.
TJson JsonParse(std::string_view Text);
// Object's member Name (which must be there); raises when absent or when
// Object is not an object.
const TJson& JsonMember(const TJson& Object, std::string_view Name);
// The member Name, which must be there and be an object (a list).
const TJson& JsonObject(const TJson& Object, std::string_view Name);
const TJson& JsonList(const TJson& Object, std::string_view Name);
// True when Object has the member Name (Object must be an object).
bool JsonHas(const TJson& Object, std::string_view Name);
// The member Name, or null when Object has none (Object must be an object);
// JsonFindList raises when the member is there but is not a list.
const TJson* JsonFind(const TJson& Object, std::string_view Name);
const TJson* JsonFindList(const TJson& Object, std::string_view Name);
// Integer read: the number with its fraction cut off; raises outside 32 bits.
std::int32_t JsonInteger(const TJson& Object, std::string_view Name);
double JsonFloat(const TJson& Object, std::string_view Name);
std::string JsonText(const TJson& Object, std::string_view Name);

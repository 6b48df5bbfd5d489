// The one XML document of a TMetadata: how it is loaded and how it is saved.
#include "UnitMetadata.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKRegExpr.h"
#include "DDKStrings.h"

namespace {

// Collects pugixml's output in a byte buffer.
class TStringWriter : public pugi::xml_writer
{
public:
    explicit TStringWriter(std::string& Target) : FTarget(Target) {}
    void write(const void* Data, std::size_t Size) override
    {
        FTarget.append(static_cast<const char*>(Data), Size);
    }

private:
    std::string& FTarget;
};

// Keeps the declaration as a node so that it is written back; a DOCTYPE is
// skipped, and pugixml never expands declared entities nor fetches anything.
// Fragment mode keeps text found outside the root, which LoadXml refuses.
constexpr unsigned LoadOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_fragment;
// A file of ours or of the user's that may be written back keeps its
// comments, processing instructions and document type.
constexpr unsigned FileLoadOptions =
    LoadOptions | pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;

// Indented, UTF-8 with its byte-order mark, and no declaration of pugixml's
// own: a document carries the one it was loaded or built with, or none.
constexpr unsigned SaveOptions = pugi::format_indent | pugi::format_write_bom | pugi::format_no_declaration;

// The encoding a document's declaration names, or "" without one.
std::string DeclaredEncoding(std::string_view Bytes)
{
    // Most documents have no declaration (our playlists start with a byte
    // order mark): they need no search.
    if (!Bytes.starts_with("<?xml"))
        return {};
    return DDKSubExpr(Bytes.substr(0, 256), "^<\\?xml[^>]*?encoding\\s*=\\s*[\"']([^\"']*)[\"']", 1, true,
                      true, false, false, "");
}

// Windows-1252, the desktop's own code page, in which older answers and
// cached files may come. pugixml knows its Latin-1 part only; the bytes 0x80
// to 0x9F carry typographic characters instead of control codes.
std::string Windows1252ToUtf8(std::string_view Bytes)
{
    static const char16_t High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string text;
    text.reserve(Bytes.size() + Bytes.size() / 4);
    for (const char byte : Bytes) {
        const unsigned char c = static_cast<unsigned char>(byte);
        const char32_t code = c >= 0x80 && c < 0xA0 ? High[c - 0x80] : c;
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | (code >> 12));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

} // namespace

TMetadata::TMetadata() = default;

TMetadata::~TMetadata() = default;

void TMetadata::LoadXml(std::string_view Bytes, bool KeepMarkup)
{
    const std::string encoding = DeclaredEncoding(Bytes);
    std::string converted;
    if (DDKSameText(encoding, "windows-1252") || DDKSameText(encoding, "cp1252"))
        Bytes = converted = Windows1252ToUtf8(Bytes);
    const pugi::xml_parse_result result =
        FXmlModel.load_buffer(Bytes.data(), Bytes.size(), KeepMarkup ? FileLoadOptions : LoadOptions,
                              converted.empty() ? pugi::encoding_auto : pugi::encoding_utf8);
    if (!result) {
        FXmlModel.reset();
        throw EDDKError(DDKFormat("XML: %s at offset %td", result.description(), result.offset));
    }
    // pugixml parses leniently at the top level (text around the root, several
    // roots), where an answer with a stray byte in front must be refused.
    int elements = 0;
    for (pugi::xml_node node = FXmlModel.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element)
            ++elements;
        else if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            elements = 2;
    }
    if (elements != 1) {
        FXmlModel.reset();
        throw EDDKError(elements == 0 ? "XML: No document element found"
                                      : "XML: Text or a second element outside the document element");
    }
    // The document now holds Unicode and is always saved as UTF-8, so a
    // declaration naming another encoding would mislabel the saved bytes.
    for (pugi::xml_node node = FXmlModel.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_declaration) {
            if (pugi::xml_attribute encoding = node.attribute("encoding"))
                encoding.set_value("UTF-8");
            break;
        }
    }
}

void TMetadata::LoadXmlFile(const std::string& FileName)
{
    LoadXml(DDKLoadFile(FileName), true);
}

std::string TMetadata::XmlBytes() const
{
    std::string bytes;
    TStringWriter writer(bytes);
    FXmlModel.save(writer, "  ", SaveOptions, pugi::encoding_utf8);
    return bytes;
}

void TMetadata::SaveXml(const std::string& FileName) const
{
    DDKSaveFileAtomic(FileName, XmlBytes());
}

// The one XML document of a TMetadata: how it is loaded and how it is saved.
#include "UnitMetadata.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

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

// Indented, UTF-8 with its byte-order mark, and no declaration of pugixml's
// own: a document carries the one it was loaded or built with, or none.
constexpr unsigned SaveOptions = pugi::format_indent | pugi::format_write_bom | pugi::format_no_declaration;

} // namespace

TMetadata::TMetadata() = default;

TMetadata::~TMetadata() = default;

void TMetadata::LoadXml(std::string_view Bytes)
{
    const pugi::xml_parse_result result =
        FXmlModel.load_buffer(Bytes.data(), Bytes.size(), LoadOptions, pugi::encoding_auto);
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

std::string TMetadata::ReadFileBytes(const std::string& FileName)
{
    std::ifstream file(FileName, std::ios::binary);
    if (!file)
        throw EDDKError(
            DDKFormat("Unable to open the file \"%s\": %s", FileName.c_str(), std::strerror(errno)));
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        throw EDDKError(DDKFormat("Unable to read the file \"%s\"", FileName.c_str()));
    return bytes;
}

void TMetadata::LoadXmlFile(const std::string& FileName)
{
    LoadXml(ReadFileBytes(FileName));
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

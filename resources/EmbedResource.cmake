# vantry_embed_resource(TARGET NAME FILE): builds the bytes of FILE into TARGET
# as the function std::string_view VantryResource_<NAME>(), declared in
# Resources.h. The bytes are read at configure time; touching FILE reconfigures.
function(vantry_embed_resource target name file)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
    string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
    set(source ${CMAKE_CURRENT_BINARY_DIR}/VantryResource_${name}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT
"// Generated from ${file}; do not edit.
#include <string_view>

namespace {
const unsigned char Bytes[] = {
    @bytes@
};
}

std::string_view VantryResource_${name}()
{
    return std::string_view(reinterpret_cast<const char*>(Bytes), sizeof(Bytes));
}
" @ONLY)
    target_sources(${target} PRIVATE ${source})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
endfunction()

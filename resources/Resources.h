// Pictures built into the program (resources/EmbedResource.cmake puts them there).
#pragma once

#include <string_view>

// "nofolder600": the grey-scale 600 x 800 JPEG that stands in for a missing poster.
std::string_view VantryResource_nofolder600();

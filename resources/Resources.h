// Pictures built into the program (resources/EmbedResource.cmake puts them there).
#pragma once

#include <string_view>

// "nofolder600": the grey-scale 600 x 800 JPEG that stands in for a missing poster.
std::string_view VantryResource_nofolder600();
// "nofolder75": the 75 x 100 JPEG thumbnail of a search result that has no poster.
std::string_view VantryResource_nofolder75();
// "update": the 18 x 18 PNG sign that a newer version of the program exists.
std::string_view VantryResource_update();
// "busy": the PNG strip of the 24 x 24 busy sign, its frames side by side from the left.
std::string_view VantryResource_busy();
// "logo": the 90 x 56 PNG logo that leads to the program's page.
std::string_view VantryResource_logo();
// "icon": the 64 x 64 PNG picture of the windows in the title bar and the task bar.
std::string_view VantryResource_icon();

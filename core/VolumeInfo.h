// The label and serial of the file system that holds a path, as anomaly
// records store them.
#pragma once

#include <string>

// VolumeName: the file system's label; Serial: eight upper-case hexadecimal
// digits with a '-' after the fourth ("1A2B-3C4D"), from the file system's
// serial or, where it has none, its identifier. Both are empty when nothing can
// be read; no failure is reported.
void GetVolumeInfo(const std::string& Path, std::string& VolumeName, std::string& Serial);

// The movie-level helpers every layer above the kit uses.
#pragma once

#include "LogWriter.h"
#include "MovieFileName.h"
#include "VolumeInfo.h"

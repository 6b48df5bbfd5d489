// The movie-level helpers every layer above the kit uses.
#pragma once

#include "HttpObject.h"
#include "LogWriter.h"
#include "MovieFileName.h"
#include "ServiceUrls.h"
#include "VolumeInfo.h"

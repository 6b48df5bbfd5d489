// The whole utility kit in one include.
#pragma once

#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKFindFile.h"
#include "DDKRegExpr.h"
#include "DDKStringList.h"
#include "DDKStrings.h"
#include "DDKSystem.h"

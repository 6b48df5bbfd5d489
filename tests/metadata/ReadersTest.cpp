#include "UnitMetadata.h"

#include <gtest/gtest.h>

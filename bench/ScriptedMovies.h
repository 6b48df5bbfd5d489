// Scripted answers for benchmark movies "Movie I.avi": each is found by one
// search on each service and has its record, poster and backdrop.
#pragma once

#include "FakeServices.h"

#include <chrono>

void ScriptMovie(FakeServices& Fake, int I, std::chrono::milliseconds Delay);

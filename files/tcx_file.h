#pragma once
// A session as a Training Center (TCX v2) activity: sport "Other" (the format
// knows only running and biking besides) with "Indoor rowing" in its notes,
// one lap per work and rest period (or per 500 m split for a session rowed
// without intervals) with its strokes
// and watts in the lap extension, one trackpoint per stroke with its speed
// and watts in the trackpoint extension.
#include <string>

#include "core/records.h"

std::string TcxFileText(const TTraining& t);

#pragma once
// The long session the benchmarks work on: 10,000 strokes with force curves,
// 20 intervals and 1,000,000 raw samples (a training file of about 5.5 MB).
#include "core/records.h"

TTraining LargeSession();

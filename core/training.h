#pragma once
// Chief header of the training data layer: records and their operations, the
// parameter catalogues, stroke and total values, intervals and chart series.
#include "core/catalogue.h"
#include "core/intervals.h"
#include "core/records.h"
#include "core/scaling.h"
#include "core/series.h"
#include "core/values.h"

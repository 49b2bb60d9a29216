#pragma once
// Chief header of the training data layer: records and their operations.
#include "core/records.h"

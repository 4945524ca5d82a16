#pragma once

// Failures of media access that the user is not told about (checks, probes, downloads).
#include "log_categories.h"

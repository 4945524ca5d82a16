#pragma once

// Registration of the bus names is logged at info level
// (QT_LOGGING_RULES="vorlune.remote.info=true").
#include "log_categories.h"

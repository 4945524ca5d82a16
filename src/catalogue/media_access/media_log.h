#pragma once

#include <QLoggingCategory>

// Failures of media access that the user is not told about (checks, probes, downloads).
// Off unless enabled, e.g. QT_LOGGING_RULES="vorlune.media.warning=true".
Q_DECLARE_LOGGING_CATEGORY(lcMedia)

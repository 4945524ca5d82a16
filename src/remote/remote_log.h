#pragma once

#include <QLoggingCategory>

// "vorlune.remote": registration of the bus names; quiet unless enabled by the
// logging rules (QT_LOGGING_RULES="vorlune.remote.info=true").
Q_DECLARE_LOGGING_CATEGORY(lcRemote)

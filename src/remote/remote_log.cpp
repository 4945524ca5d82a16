#include "remote_log.h"

Q_LOGGING_CATEGORY(lcRemote, "vorlune.remote", QtWarningMsg)

#include "media_log.h"

Q_LOGGING_CATEGORY(lcMedia, "vorlune.media", QtCriticalMsg)

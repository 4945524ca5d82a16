#include "log_categories.h"

Q_LOGGING_CATEGORY(lcCatalogue, "vorlune.catalogue", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMedia, "vorlune.media", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlayback, "vorlune.playback", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStreaming, "vorlune.streaming", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCopy, "vorlune.copy", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWeb, "vorlune.web", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMail, "vorlune.mail", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRemote, "vorlune.remote", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "vorlune.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCommands, "vorlune.commands", QtWarningMsg)

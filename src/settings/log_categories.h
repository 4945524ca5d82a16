#pragma once

#include <QLoggingCategory>

// One logging category per subsystem, all at Warning by default: failures show on
// the console without any rule; QT_LOGGING_RULES="vorlune.<name>.info=true" adds more.
Q_DECLARE_LOGGING_CATEGORY(lcCatalogue) // vorlune.catalogue: index files, loading, imports
Q_DECLARE_LOGGING_CATEGORY(lcMedia)     // vorlune.media: roots, shares, web media, mounting
Q_DECLARE_LOGGING_CATEGORY(lcPlayback)  // vorlune.playback: the media device and player
Q_DECLARE_LOGGING_CATEGORY(lcStreaming) // vorlune.streaming: server, encoder, capture, relay
Q_DECLARE_LOGGING_CATEGORY(lcCopy)      // vorlune.copy: copy runs, playlists, profiles
Q_DECLARE_LOGGING_CATEGORY(lcWeb)       // vorlune.web: pages, "vorlune:" commands
Q_DECLARE_LOGGING_CATEGORY(lcMail)      // vorlune.mail: sending lists
Q_DECLARE_LOGGING_CATEGORY(lcRemote)    // vorlune.remote: bus names, MPRIS, control socket
Q_DECLARE_LOGGING_CATEGORY(lcSettings)  // vorlune.settings: the settings file
Q_DECLARE_LOGGING_CATEGORY(lcCommands)  // vorlune.commands: the command table

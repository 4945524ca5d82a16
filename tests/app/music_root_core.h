// A core over one hard-disk medium, "Music", in a temporary media root, playing without
// sound or picture output: what the integrations' tests on fake views start from.
#pragma once

#include "app_core.h"
#include "test_env.h"
#include "test_support.h"

#include <QTemporaryDir>

#include <memory>

class MusicRootCore {
public:
    // Makes the medium and the core in `env`; false when the medium could not be made.
    bool start(IsolatedEnvironment& env) {
        if (!root.isValid()) return false;
        qputenv("VORLUNE_MEDIA_ROOTS", root.path().toUtf8());
        qputenv("VORLUNE_AUDIO_OUTPUT", "null");
        qputenv("VORLUNE_VIDEO_OUTPUT", "null");
        if (!playbacktest::writeFile(root.filePath(QStringLiteral("Music.id")),
                                     "MEDIATYPE::HDD\r\n"))
            return false;
        AppCore::Environment e;
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.dataDir = env.dataDir();
        core = std::make_unique<AppCore>(e);
        core->setMediaPrompts(&prompts);
        return true;
    }
    // The core goes before the variables that chose its medium and outputs.
    void stop() {
        core.reset();
        for (const char* name :
             {"VORLUNE_MEDIA_ROOTS", "VORLUNE_AUDIO_OUTPUT", "VORLUNE_VIDEO_OUTPUT"})
            qunsetenv(name);
    }
    ~MusicRootCore() { stop(); }

    QTemporaryDir root;
    playbacktest::CancellingPrompts prompts;
    std::unique_ptr<AppCore> core;
};

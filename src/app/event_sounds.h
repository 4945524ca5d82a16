#pragma once

#include <QString>

class SettingsStore;
struct ca_context;

// Plays the program's event sounds ("VLWaitForMedia" ...): the file the user chose for
// the event in the settings store, asynchronously; nothing when none is chosen.
class EventSounds {
public:
    explicit EventSounds(const SettingsStore* store) : store_(store) {}
    ~EventSounds();
    EventSounds(const EventSounds&) = delete;
    EventSounds& operator=(const EventSounds&) = delete;

    // The chosen file of an event, trimmed; empty when none is chosen or it is missing.
    static QString soundFile(const SettingsStore& store, const QString& event);

    // Starts the event's sound; false when there is none or it cannot be played.
    bool play(const QString& event);
    // Starts a sound file for an event (the options dialog tries a choice out).
    bool playFile(const QString& file, const QString& event);
    // Starts a sound of the desktop's sound theme by its event name ("dialog-information").
    bool playTheme(const QString& themeEvent);

private:
    bool ensureContext();

    const SettingsStore* store_;
    ca_context* context_ = nullptr;
    bool contextFailed_ = false;
};

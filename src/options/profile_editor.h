#pragma once

#include "copy_profiles.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

class SettingsStore;

// The profile page's store work: which names may be saved, saving with the button
// picture, deleting with the picture file.
class ProfileEditor {
public:
    ProfileEditor(SettingsStore& store, QString dataDir)
        : store_(store), dataDir_(std::move(dataDir)) {}

    static inline const QString kNewProfile = QStringLiteral("(Neues Profil)");
    static constexpr int kMaxNameLength = 60;
    static constexpr int kGlyphSize = 24;

    // Listed profiles, sorted as the profile buttons are.
    QStringList names() const;
    bool exists(const QString& name) const;
    // Save is offered for a trimmed name that is neither empty nor "(Neues Profil)".
    static bool canSave(const QString& name);

    enum class SaveCheck { New, Exists, LimitReached };
    // A new name while 64 profiles are listed is refused; an existing one is asked about.
    SaveCheck checkSave(const QString& name) const;

    // Writes Path, Playlist, Command, Glyph and the picture's bitmap halves. A null
    // picture keeps the halves the profile has (or stores none).
    void save(const copyprofiles::Profile& profile, const QImage& picture);
    // Deletes "<data folder>/<name>.glyph" when it exists, then the profile's key.
    void remove(const QString& name);

    // The picture as a 24 x 24 bitmap file: filled with the picture's transparent colour,
    // then the picture stretched into it ANDed with that colour.
    static QByteArray glyphBitmap(const QImage& picture);
    // The colour that counts as transparent: the bottom-left pixel, laid on white.
    static QColor transparentColour(const QImage& picture);

private:
    SettingsStore& store_;
    QString dataDir_;
};

#include "profile_editor.h"

#include "settings_store.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>

QStringList ProfileEditor::names() const {
    return copyprofiles::profileNames(store_);
}

bool ProfileEditor::exists(const QString& name) const {
    const QString n = name.trimmed();
    return !n.isEmpty() && store_.keyExists(copyprofiles::kProfilesKey + u'\\' + n);
}

bool ProfileEditor::canSave(const QString& name) {
    const QString n = name.trimmed();
    return !n.isEmpty() && n != kNewProfile;
}

ProfileEditor::SaveCheck ProfileEditor::checkSave(const QString& name) const {
    if (exists(name)) return SaveCheck::Exists;
    if (names().size() >= copyprofiles::kMaxProfiles) return SaveCheck::LimitReached;
    return SaveCheck::New;
}

QColor ProfileEditor::transparentColour(const QImage& picture) {
    if (picture.isNull()) return Qt::white;
    const QColor c = picture.pixelColor(0, picture.height() - 1);
    if (c.alpha() == 255) return c;
    // Laid on white, as the picture would show on an empty canvas.
    const double a = c.alphaF();
    return QColor::fromRgbF(float(c.redF() * a + (1 - a)), float(c.greenF() * a + (1 - a)),
                            float(c.blueF() * a + (1 - a)));
}

QByteArray ProfileEditor::glyphBitmap(const QImage& picture) {
    QImage glyph(kGlyphSize, kGlyphSize, QImage::Format_RGB32);
    const QColor brush = transparentColour(picture);
    glyph.fill(brush);
    if (!picture.isNull()) {
        // Pictures with transparency are laid on white first, then ANDed with the brush.
        QImage source(picture.size(), QImage::Format_RGB32);
        source.fill(Qt::white);
        {
            QPainter p(&source);
            p.drawImage(0, 0, picture);
        }
        QPainter p(&glyph);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        p.drawImage(QRect(0, 0, kGlyphSize, kGlyphSize), source);
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    glyph.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
    return data;
}

void ProfileEditor::save(const copyprofiles::Profile& profile, const QImage& picture) {
    copyprofiles::Profile p = profile;
    p.name = p.name.trimmed();
    if (!picture.isNull()) {
        p.glyphData = glyphBitmap(picture);
        p.hasGlyphData = true;
    } else {
        const copyprofiles::Profile stored = copyprofiles::readProfile(store_, p.name);
        p.glyphData = stored.glyphData;
        p.hasGlyphData = stored.hasGlyphData;
    }
    copyprofiles::writeProfile(store_, p);
}

void ProfileEditor::remove(const QString& name) {
    const QString glyph = copyprofiles::glyphFilePath(dataDir_, name);
    if (!glyph.isEmpty() && QFile::exists(glyph)) QFile::remove(glyph);
    copyprofiles::deleteProfile(store_, name);
}

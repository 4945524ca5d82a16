#pragma once

#include <QString>
#include <QStringView>

// The stream title the player writes for each state, from the title line.
enum class PlayState { Playing, Paused, Stopped };

QString streamTitleFor(QStringView titleLine, PlayState state);

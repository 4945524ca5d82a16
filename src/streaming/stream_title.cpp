#include "stream_title.h"

#include "title_line.h"

QString streamTitleFor(QStringView titleLine, PlayState state) {
    const QString name = titleline::displayName(titleLine);
    switch (state) {
    case PlayState::Paused:
        return name + QStringLiteral(" [PAUSE]");
    case PlayState::Stopped:
        return name + QStringLiteral(" [STOP]");
    case PlayState::Playing:
        break;
    }
    return name;
}

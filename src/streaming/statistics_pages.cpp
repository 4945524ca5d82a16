#include "statistics_pages.h"

namespace statpages {

Selection select(const Request& request, bool haveConnections, bool serverActive) {
    Selection s;
    s.visible[Connections] = haveConnections;
    s.visible[Listeners] = serverActive;
    if (!request.isTitle()) {
        const QString& word = request.name;
        if (word == QLatin1String("about")) {
            s.current = Information;
            s.clearRequest = true;
        } else if (word == QLatin1String("connections")) {
            if (haveConnections) s.current = Connections;
            s.clearRequest = true;
        } else if (word == QLatin1String("listeners")) {
            if (serverActive) s.current = Listeners;
            s.clearRequest = true;
        }
        return s;
    }
    s.visible[Properties] = true;
    s.current = Properties;
    s.caption = QStringLiteral("Eigenschaften von ") + request.name;
    s.fillProperties = true;
    return s;
}

} // namespace statpages

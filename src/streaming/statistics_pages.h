#pragma once

#include <QString>

// What the statistics window is asked to show, and which pages that makes visible.
namespace statpages {

enum Page { Properties = 0, Statistics = 1, Connections = 2, Listeners = 3, Information = 4 };
constexpr int PageCount = 5;

// A title (display name, medium label, title line), one of the words "about",
// "connections", "listeners", or nothing (the statistics).
struct Request {
    QString name;
    QString medium;
    QString path;

    bool isTitle() const { return !name.isEmpty() && !path.isEmpty(); }
    bool isEmpty() const { return name.isEmpty() && medium.isEmpty() && path.isEmpty(); }
    static Request title(const QString& name, const QString& medium, const QString& path) {
        return {name, medium, path};
    }
    static Request page(const QString& word) { return {word, {}, {}}; }
};

struct Selection {
    bool visible[PageCount] = {false, true, false, false, true};
    Page current = Statistics;
    QString caption = QStringLiteral("Statistik");
    bool clearRequest = false; // a page word was taken
    bool fillProperties = false;
};

// The pages for a request: "Eigenschaften" only for a title, "Verbindungen" only with
// connections, "Zuhörer" only while the server is active; a page word selects its page
// when visible and is used up. Only a request without medium and path is a page word,
// so a title named "about" still shows its properties.
Selection select(const Request& request, bool haveConnections, bool serverActive);

} // namespace statpages

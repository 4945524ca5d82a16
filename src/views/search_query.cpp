#include "search_query.h"

namespace quicksearch {

QString asciiUpper(QStringView text) {
    QString out = text.toString();
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z') c = QChar(char16_t(u - 32));
    }
    return out;
}

QStringList tokenize(QStringView input) {
    QStringList tokens;
    QStringView rest = input;
    for (;;) {
        rest = rest.trimmed();
        QString token;
        bool inQuotes = false;
        qsizetype i = 0;
        for (; i < rest.size(); ++i) {
            const QChar c = rest[i];
            if (c == u'"') {
                inQuotes = !inQuotes;
                continue;
            }
            if (c == u' ' && !inQuotes) break;
            token.append(c);
        }
        rest = rest.mid(i);
        if (token.isEmpty()) break;
        tokens.append(token);
    }
    return tokens;
}

SearchTerms parseSearch(QStringView input, const SearchOptions& options) {
    SearchTerms terms;
    for (const QString& token : tokenize(input)) {
        QStringList* list = &terms.plain;
        QString separator = QStringLiteral(" ");
        QString term = token;
        if (term.startsWith(u'+')) {
            list = &terms.plus;
            separator = QStringLiteral(" +");
            term.remove(0, 1);
        } else if (term.startsWith(u'-')) {
            list = &terms.minus;
            separator = QStringLiteral(" -");
            term.remove(0, 1);
        }
        const QString upper = asciiUpper(term);
        if (term.trimmed().isEmpty() || list->contains(upper)) continue;
        if (options.minln && term.size() < options.minlncnt) continue;
        list->append(upper);
        terms.searchText += separator + term;
    }
    terms.searchText = terms.searchText.trimmed();
    return terms;
}

bool insertMru(QStringList& mru, const QString& rawInput, const SearchTerms& terms,
               qint64 resultCount) {
    if (terms.searchText.isEmpty() || resultCount <= 0) return false;
    if (mru.contains(rawInput, Qt::CaseInsensitive)) return false;
    mru.prepend(rawInput);
    if (mru.size() > kMruLimit) mru.resize(kMruLimit);
    return true;
}

QStringList cappedMru(const QStringList& mru) {
    return mru.size() > kMruLimit ? mru.mid(0, kMruLimit) : mru;
}

namespace {
TermColour colourOf(QChar c) {
    if (c == u'+') return TermColour::Plus;
    if (c == u'-') return TermColour::Minus;
    return TermColour::Normal;
}

void addSpan(std::vector<ColourSpan>& spans, qsizetype start, qsizetype end, TermColour colour) {
    if (end > start) spans.push_back({int(start), int(end - start), colour});
}
} // namespace

std::vector<ColourSpan> inputColourSpans(QStringView text) {
    std::vector<ColourSpan> spans;
    bool inQuotes = false;
    qsizetype wordStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'"') inQuotes = !inQuotes;
        const bool last = i == text.size() - 1;
        if ((text[i] == u' ' && !inQuotes) || last) {
            addSpan(spans, wordStart, i + 1, colourOf(text[wordStart]));
            wordStart = i + 1;
        }
    }
    return spans;
}

std::vector<ColourSpan> mruColourSpans(QStringView text) {
    std::vector<ColourSpan> spans;
    bool inQuotes = false;
    qsizetype wordStart = 0;
    TermColour colour = TermColour::Normal;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"')
            inQuotes = !inQuotes;
        else if (!inQuotes && (c == u'+' || c == u'-'))
            colour = colourOf(c);
        const bool last = i == text.size() - 1;
        if ((c == u' ' && !inQuotes) || last) {
            addSpan(spans, wordStart, i + 1, colour);
            wordStart = i + 1;
            colour = TermColour::Normal;
        }
    }
    return spans;
}

} // namespace quicksearch

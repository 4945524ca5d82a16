#pragma once

#include <QString>

// The program's version record, as the views and user agents see it.
struct MyVersionInfo {
    int Major = 0;
    int Minor = 0;
    int Build = 0;
    int ReleaseD = 0;
    int ReleaseM = 0;
    int ReleaseY = 0;
    QString Extra;         // one letter a..z or empty
    QString VersionString; // "1.5a (Build 300)"
    QString ReleaseDate;   // "08-DEC-2026"
    QString Query;         // "Major=1&Minor=5&...&"

    // Builds the record from the two version strings: "major.minor.extracode.build"
    // (extracode 97..122 is a letter a..z) and "day.month.year". An empty file
    // version gives the empty record.
    static MyVersionInfo fromStrings(const QString& fileVersion, const QString& comments);

    // The record of this build.
    static const MyVersionInfo& current();
};

// "JAN" .. "DEC" for 1..12, empty otherwise.
QString englishMonthAbbrev(int month);

#include "tallyer.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tallyer;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

Arguments validArgs(const QString& base) {
    Arguments a;
    a.baseDir = base;
    a.label = QStringLiteral("Rock");
    a.count = 2;
    return a;
}

} // namespace

TEST(TallyerArguments, KeysMatchByPrefixWithoutRegardToCase) {
    const Arguments a = parseArguments({
        QStringLiteral("basedir=/media/usb/"),
        QStringLiteral("Label=Rock=1"), // only the text up to the first "=" is the key
        QStringLiteral("tYpE=cdr"),
        QStringLiteral("RES=\\\\nas\\mp3"),
        QStringLiteral("author=<b>Ich</b>"),
        QStringLiteral("VERSIONX"), // no "=": matches nothing
        QStringLiteral("version=%DATE%"),
    });
    EXPECT_EQ(a.baseDir, QStringLiteral("/media/usb/"));
    EXPECT_EQ(a.label, QStringLiteral("Rock=1"));
    EXPECT_EQ(a.type, QStringLiteral("cdr"));
    EXPECT_EQ(a.resource, QStringLiteral("\\\\nas\\mp3"));
    EXPECT_EQ(a.author, QStringLiteral("<b>Ich</b>"));
    EXPECT_EQ(a.version, QStringLiteral("%DATE%"));
    EXPECT_TRUE(a.comment.isEmpty());
    EXPECT_TRUE(a.infoFile.isEmpty());
    EXPECT_FALSE(a.needsHelp());

    const Arguments b =
        parseArguments({QStringLiteral("LABEL=A"), QStringLiteral("label=B"),
                        QStringLiteral("COMMENT=x"), QStringLiteral("InfoFile=info.cdi")});
    EXPECT_EQ(b.label, QStringLiteral("B")); // the later one wins
    EXPECT_EQ(b.comment, QStringLiteral("x"));
    EXPECT_EQ(b.infoFile, QStringLiteral("info.cdi"));
}

TEST(TallyerArguments, HelpForMoreThanSevenArgumentsOrMissingBaseOrLabel) {
    QStringList seven = {QStringLiteral("BASEDIR=/x"), QStringLiteral("LABEL=R")};
    while (seven.size() < 7)
        seven << QStringLiteral("COMMENT=c");
    EXPECT_FALSE(parseArguments(seven).needsHelp());
    EXPECT_TRUE(parseArguments(seven + QStringList{QStringLiteral("X=1")}).needsHelp());

    EXPECT_TRUE(parseArguments({QStringLiteral("LABEL=R")}).needsHelp());
    EXPECT_TRUE(parseArguments({QStringLiteral("BASEDIR=/x")}).needsHelp());
    // A key with an empty value is there: validation refuses it, no help.
    EXPECT_FALSE(
        parseArguments({QStringLiteral("BASEDIR=/x"), QStringLiteral("LABEL=")}).needsHelp());
    EXPECT_FALSE(
        parseArguments({QStringLiteral("basedir="), QStringLiteral("LABEL=R")}).needsHelp());
    EXPECT_TRUE(parseArguments({}).needsHelp());
}

TEST(TallyerArguments, BannerAndHelpText) {
    const QString banner = bannerLine(2031);
    EXPECT_TRUE(banner.startsWith(QStringLiteral("*** TALLYER v1.4a (03-AUG-2006)   ")));
    EXPECT_TRUE(banner.endsWith(QStringLiteral(" ***")));
    EXPECT_TRUE(banner.contains(QStringLiteral("2031")));

    const QStringList help = helpLines();
    const QStringList head = {
        QStringLiteral(" Erstellt für ein Medium eine Titelliste, wie sie von"),
        QStringLiteral(" \"Vorlune\" verwendet wird.\""),
        QString(),
        QStringLiteral("Aufruf: TALLYER BASEDIR=<Stammverzeichnis>[\\] LABEL=<Medienbezeichnung>"),
        QStringLiteral("                 [TYPE=<Medientyp> [RES=<Ressource>]]"),
        QStringLiteral("                 [[AUTHOR=<Herausgeber>] [VERSION=<Versionsbezeichnung>]"),
        QStringLiteral("                  [COMMENT=<Beschreibung des Mediums>]"),
        QStringLiteral("                  | [INFOFILE=<Dateiname>]]"),
    };
    ASSERT_GE(help.size(), head.size());
    EXPECT_EQ(help.mid(0, head.size()), head);
    const QString all = help.join(u'\n');
    for (const char* text : {
             " Anmerkungen:  Werte in spitzen Klammern sind obligatorische Angaben;\n"
             "               die Angabe der Werte in eckigen Klammern ist optional.\n"
             "               Die für AUTHOR, VERSION und COMMENT verwendeten\n"
             "               Zeichenketten dürfen HTML-Quelltext enthalten.\n",
             "\n Parameter:\n",
             "also kein \\ / < > | ? * : \"",
             "DSK:  Diskette, MO-Diskette oder ähnliches Medium\n",
             "USB:  USB-fähiges Wiedergabe- / Massenspeichergerät\n",
             "RAM:  RAM- oder Flash-Laufwerk\n",
             "CDR:  CD, DVD, BluRay-Disc oder ähnliches Medium\n",
             "HDD:  Festplatte\n",
             "LAN:  Netzlaufwerk, siehe \"Ressource\"\n",
             "WWW:  Internet (HTTP/FTP), siehe \"Ressource\"\n",
             "Alle anderen Medientypen ignorieren diesen Parameter.",
             "Versionsbezeichng.",
             "Ein das Medium beschreibender Text (max. 4000 Zeichen).",
         })
        EXPECT_TRUE(all.contains(QString::fromUtf8(text))) << text;
    for (const QString& line : help) {
        EXPECT_LE(line.size(), 79) << qPrintable(line);
        EXPECT_FALSE(line.endsWith(u' ')) << qPrintable(line);
    }
}

TEST(TallyerValidation, ChecksFolderThenLabelThenType) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString missing = tmp.filePath(QStringLiteral("nicht da"));

    Arguments a = validArgs(missing);
    a.label = QStringLiteral("a:b");
    a.type = QStringLiteral("XYZ");
    Validation v = validate(a);
    EXPECT_EQ(v.exitCode, ExitBaseDirMissing);
    ASSERT_EQ(v.messages.size(), 1);
    EXPECT_EQ(v.messages[0],
              (QStringList{QStringLiteral(" Fehler:   Kann Verzeichnis nicht finden:"),
                           QStringLiteral("            \"") + missing + u'"'}));

    a.baseDir = tmp.path();
    v = validate(a);
    EXPECT_EQ(v.exitCode, ExitBadLabel);
    ASSERT_EQ(v.messages.size(), 1);
    EXPECT_EQ(v.messages[0],
              (QStringList{QStringLiteral(" Fehler:   Ungültige Medien-Bezeichnung:"),
                           QStringLiteral("            \"a:b\"")}));

    a.label = QStringLiteral("Rock");
    v = validate(a);
    EXPECT_EQ(v.exitCode, ExitBadType);
    ASSERT_EQ(v.messages.size(), 1);
    EXPECT_EQ(v.messages[0],
              QStringList{QStringLiteral(" Fehler:   Ungültiger Medientyp: \"XYZ\"")});

    // A file is no folder.
    writeFile(tmp.filePath(QStringLiteral("f")), "x");
    EXPECT_EQ(validate(validArgs(tmp.filePath(QStringLiteral("f")))).exitCode, ExitBaseDirMissing);
}

TEST(TallyerValidation, LabelsAreTrimmedAndRefusedWithFileNameCharacters) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    for (const char* bad :
         {"a/b", "a\\b", "a:b", "a*b", "a?b", "a|b", "a<b", "a>b", "a\"b", "   "}) {
        Arguments a = validArgs(tmp.path());
        a.label = QString::fromUtf8(bad);
        const Validation v = validate(a);
        EXPECT_EQ(v.exitCode, ExitBadLabel) << bad;
        ASSERT_EQ(v.messages.size(), 1);
        EXPECT_EQ(v.messages[0].value(1), QStringLiteral("            \"%1\"").arg(a.label));
    }
    Arguments a = validArgs(tmp.path());
    a.label = QStringLiteral("  Rock 1 (ä) ");
    const Validation v = validate(a);
    EXPECT_EQ(v.exitCode, ExitOk);
    EXPECT_EQ(v.job.label, QStringLiteral("Rock 1 (ä)"));
}

TEST(TallyerValidation, TypesAndTheRootFlag) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    for (const char* type : {"dsk", "USB", "Ram", "cdr", "HDD", "lan", "www"}) {
        Arguments a = validArgs(tmp.path());
        a.type = QString::fromLatin1(type);
        const Validation v = validate(a);
        EXPECT_EQ(v.exitCode, ExitOk) << type;
        EXPECT_EQ(v.job.type, QString::fromLatin1(type).toUpper());
        EXPECT_TRUE(v.messages.isEmpty());
    }
    Arguments a = validArgs(tmp.path());
    a.type = QString(); // an empty TYPE= is no type
    Validation v = validate(a);
    EXPECT_EQ(v.exitCode, ExitOk);
    EXPECT_TRUE(v.job.type.isEmpty());
    EXPECT_FALSE(v.job.rootFlag);
    EXPECT_EQ(v.job.baseDir, tmp.path());

    for (const QString& sep : {QStringLiteral("/"), QStringLiteral("\\")}) {
        v = validate(validArgs(tmp.path() + sep));
        EXPECT_EQ(v.exitCode, ExitOk);
        EXPECT_TRUE(v.job.rootFlag);
        EXPECT_EQ(v.job.baseDir, tmp.path());
    }
    v = validate(validArgs(QStringLiteral("/")));
    EXPECT_EQ(v.exitCode, ExitOk);
    EXPECT_TRUE(v.job.rootFlag);
    EXPECT_EQ(v.job.baseDir, QStringLiteral("/"));
}

TEST(TallyerValidation, ResourceGuessesTheTypeOrIsIgnored) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    struct Case {
        const char* res;
        const char* type;
    };
    for (const Case& c : {Case{"\\\\nas\\mp3", "LAN"}, Case{"hTTp://server/pfad/", "WWW"},
                          Case{"FTP://server/pfad/", "WWW"}}) {
        Arguments a = validArgs(tmp.path());
        a.resource = QString::fromUtf8(c.res);
        const Validation v = validate(a);
        EXPECT_EQ(v.exitCode, ExitOk);
        EXPECT_EQ(v.job.type, QString::fromLatin1(c.type));
        EXPECT_EQ(v.job.resource, a.resource);
        ASSERT_EQ(v.messages.size(), 1);
        EXPECT_EQ(
            v.messages[0],
            (QStringList{QStringLiteral(" Warnung:  Kein Medientyp angegeben, vermute \"%1\" "
                                        "anhand")
                             .arg(QString::fromLatin1(c.type)),
                         QStringLiteral("           der Ressource \"%1\"...").arg(a.resource)}));
    }

    Arguments a = validArgs(tmp.path());
    a.resource = QStringLiteral("/srv/mp3");
    Validation v = validate(a);
    EXPECT_EQ(v.exitCode, ExitOk);
    EXPECT_TRUE(v.job.type.isEmpty());
    EXPECT_TRUE(v.job.resource.isEmpty());
    ASSERT_EQ(v.messages.size(), 1);
    EXPECT_EQ(v.messages[0],
              (QStringList{
                  QStringLiteral(" Warnung:  Kein Medientyp angegeben, ignoriere die Angabe der"),
                  QStringLiteral("           Ressource \"/srv/mp3\"...")}));

    // With a type, no guessing; other types than LAN and WWW drop the resource.
    a.type = QStringLiteral("lan");
    v = validate(a);
    EXPECT_TRUE(v.messages.isEmpty());
    EXPECT_EQ(v.job.resource, QStringLiteral("/srv/mp3"));
    a.type = QStringLiteral("CDR");
    v = validate(a);
    EXPECT_TRUE(v.messages.isEmpty());
    EXPECT_TRUE(v.job.resource.isEmpty());

    // The type is checked before the resource is looked at.
    a.type = QStringLiteral("LANX");
    a.resource = QStringLiteral("\\\\nas\\mp3");
    v = validate(a);
    EXPECT_EQ(v.exitCode, ExitBadType);
    EXPECT_EQ(v.messages.size(), 1);
}

TEST(TallyerValidation, InfoFileAgainstManualValues) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString info = tmp.filePath(QStringLiteral("medium.cdi"));
    const QString missing = tmp.filePath(QStringLiteral("fehlt.cdi"));
    writeFile(info, "A\r\nV\r\nC\r\n");

    Arguments a = validArgs(tmp.path());
    a.infoFile = info;
    Validation v = validate(a);
    EXPECT_EQ(v.exitCode, ExitOk);
    EXPECT_TRUE(v.messages.isEmpty());
    EXPECT_EQ(v.job.infoFile, info);

    a.version = QStringLiteral("1.0");
    v = validate(a);
    EXPECT_EQ(v.exitCode, ExitOk);
    EXPECT_EQ(v.job.infoFile, info);
    ASSERT_EQ(v.messages.size(), 1);
    EXPECT_EQ(
        v.messages[0],
        (QStringList{QStringLiteral(" Warnung:  Benutze Daten aus \"%1\", ignoriere die").arg(info),
                     QStringLiteral("           manuell angegebenen Daten...")}));

    a.infoFile = missing;
    v = validate(a);
    EXPECT_EQ(v.exitCode, ExitOk);
    EXPECT_TRUE(v.job.infoFile.isEmpty());
    EXPECT_EQ(v.job.version, QStringLiteral("1.0"));
    ASSERT_EQ(v.messages.size(), 1);
    EXPECT_EQ(
        v.messages[0],
        (QStringList{
            QStringLiteral(" Warnung:  Datei \"%1\"nicht vorhanden, benutze die").arg(missing),
            QStringLiteral("           manuell angegebenen Daten...")}));

    a.version.clear();
    v = validate(a);
    EXPECT_EQ(v.exitCode, ExitInfoFileMissing);
    ASSERT_EQ(v.messages.size(), 1);
    EXPECT_EQ(v.messages[0], (QStringList{QStringLiteral(" Fehler:   Datei nicht vorhanden:"),
                                          QStringLiteral("            \"%1\"").arg(missing)}));

    // A folder is no info file.
    a.infoFile = tmp.path();
    EXPECT_EQ(validate(a).exitCode, ExitInfoFileMissing);

    // Warnings come in order: the resource, then the info file.
    a.infoFile = missing;
    a.author = QStringLiteral("Ich");
    a.resource = QStringLiteral("\\\\nas\\mp3");
    v = validate(a);
    ASSERT_EQ(v.messages.size(), 2);
    EXPECT_TRUE(v.messages[0].value(0).contains(QStringLiteral("vermute")));
    EXPECT_TRUE(v.messages[1].value(0).contains(QStringLiteral("nicht vorhanden")));
}

TEST(TallyerText, ReplacementRule) {
    EXPECT_EQ(replaceText(QStringLiteral("Stand %date%, erneut %Date%"), u"%DATE%",
                          QStringLiteral("08.12.26")),
              QStringLiteral("Stand 08.12.26, erneut 08.12.26"));
    EXPECT_EQ(replaceText(QStringLiteral("ohne"), u"%DATE%", QStringLiteral("x")),
              QStringLiteral("ohne"));
    // Searching again from the start finds a pattern that a replacement has joined.
    EXPECT_EQ(replaceText(QStringLiteral("%DA%DATE%TE%!"), u"%DATE%", QString()),
              QStringLiteral("!"));
    // A replacement holding the pattern replaces the first occurrence only.
    EXPECT_EQ(
        replaceText(QStringLiteral("%DATE% und %date%"), u"%DATE%", QStringLiteral("<%Date%>")),
        QStringLiteral("<%Date%> und %date%"));
    EXPECT_EQ(replaceText(QStringLiteral("abc"), u"", QStringLiteral("x")), QStringLiteral("abc"));
}

TEST(TallyerText, DateTextsAndPlaceholders) {
    const QLocale german(QLocale::German, QLocale::Germany);
    const DateTexts d = dateTexts(QDateTime(QDate(2026, 12, 8), QTime(17, 22, 38)), german);
    EXPECT_EQ(d.date, QStringLiteral("08.12.26"));
    EXPECT_EQ(d.time, QStringLiteral("17:22:38"));
    EXPECT_EQ(d.dateTime, QStringLiteral("08.12.26 17:22:38"));
    EXPECT_EQ(d.htmlDate, QStringLiteral("T<SMALL>UE</SMALL>, 08-D<SMALL>EC</SMALL>-2026"));
    EXPECT_EQ(d.htmlTime, QStringLiteral("17:22:38"));
    EXPECT_EQ(d.htmlDateTime, QStringLiteral("T<SMALL>UE</SMALL>, 08-D<SMALL>EC</SMALL>-2026"
                                             "&nbsp;&nbsp;&nbsp;17:22:38"));
    EXPECT_EQ(htmlDate(QDate(2006, 1, 1)),
              QStringLiteral("S<SMALL>UN</SMALL>, 01-J<SMALL>AN</SMALL>-2006"));
    EXPECT_EQ(htmlDate(QDate(2006, 8, 5)),
              QStringLiteral("S<SMALL>AT</SMALL>, 05-A<SMALL>UG</SMALL>-2006"));

    DateTexts t;
    t.date = QStringLiteral("D");
    t.time = QStringLiteral("T");
    t.dateTime = QStringLiteral("DT");
    t.htmlDate = QStringLiteral("HD");
    t.htmlTime = QStringLiteral("HT");
    t.htmlDateTime = QStringLiteral("HDT");
    EXPECT_EQ(replacePlaceholders(QStringLiteral("%date%|%TIME%|%DateTime%|%HTMLDATE%|%htmltime%|"
                                                 "%HTMLDATETIME%|%date%"),
                                  t),
              QStringLiteral("D|T|DT|HD|HT|HDT|D"));
}

TEST(TallyerText, HeaderTextsFromInfoFileOrArguments) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    DateTexts d;
    d.date = QStringLiteral("08.12.26");

    Job job;
    job.author = QStringLiteral("Ich %DATE%");
    job.version = QStringLiteral("%date% / %DATE%");
    job.comment = QStringLiteral("<i>Mix</i> vom %Date%");
    HeaderTexts t = headerTexts(job, d);
    EXPECT_EQ(t.author, QStringLiteral("Ich %DATE%")); // the publisher stays as it is
    EXPECT_EQ(t.version, QStringLiteral("08.12.26 / 08.12.26"));
    EXPECT_EQ(t.comment, QStringLiteral("<i>Mix</i> vom 08.12.26"));

    // The info file wins; a line of blanks counts as empty, others stay untrimmed.
    const QString info = tmp.filePath(QStringLiteral("m.cdi"));
    writeFile(info, " Verlag \xc4 \r\n   \r\nStand %DATE%\r\nvierte Zeile\r\n");
    job.infoFile = info;
    t = headerTexts(job, d);
    EXPECT_EQ(t.author, QStringLiteral(" Verlag Ä "));
    EXPECT_TRUE(t.version.isEmpty());
    EXPECT_EQ(t.comment, QStringLiteral("Stand 08.12.26"));

    writeFile(info, "Nur der Herausgeber");
    t = headerTexts(job, d);
    EXPECT_EQ(t.author, QStringLiteral("Nur der Herausgeber"));
    EXPECT_TRUE(t.version.isEmpty());
    EXPECT_TRUE(t.comment.isEmpty());
}

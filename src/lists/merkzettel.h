#pragma once

#include <QString>
#include <QStringList>

// The Merkzettel operations on its title list: adding keeps duplicates and order,
// removing takes the first occurrence of each line (compared without regard to case).
namespace merkzettel {

void add(QStringList& list, const QStringList& lines);
// Returns how many lines were removed.
int remove(QStringList& list, const QStringList& lines);

// An explicit title selection from a web page: "&"-separated, URL-escaped title lines.
QStringList explicitSelection(const QString& argument);

// The full name of the user (password database), else the login name.
QString registeredOwner();

// The explanatory head of a mailed Merkzettel for the given sender name.
QStringList mailHead(const QString& owner);

} // namespace merkzettel

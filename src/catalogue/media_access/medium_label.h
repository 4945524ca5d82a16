#pragma once

#include <QString>
#include <QStringView>

// Medium labels come from index files and the network; before one becomes part of a file
// name it goes through here.
namespace mediumlabel {

// True when label + an extension names a file inside the folder it is put in: not empty,
// not "." or "..", no "/" or "\", no control character (NUL included), and short enough
// for a file name.
bool isFileNameSafe(QStringView label);

// label + extension (".id", ".cd"), or empty when the label is not safe.
QString fileName(QStringView label, QStringView extension);

// The name of a medium's identification file: the label with "/" and "\" turned into "-"
// (as destination paths do) and "." or ".." into "_", then ".id". Empty when even that
// cannot name a file; idFileProblem then says why.
QString idFileName(QStringView label);
QString idFileProblem(QStringView label);

} // namespace mediumlabel

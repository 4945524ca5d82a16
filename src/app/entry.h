#pragma once

#include <QString>

#include <functional>

// The steps of the program entry that come before any window.
namespace entry {

inline constexpr int kGoOn = -1;

// Steps 1 to 9: when `firstArgument` is a "vorlune:" URL, imports it into `dataDir`
// and tells a running instance to reload. A failure is shown through `warn` and gives
// the exit code 255; otherwise kGoOn.
int importStep(const QString& firstArgument, const QString& dataDir,
               const std::function<void(const QString&)>& warn, int timeoutSeconds = 60);

// Step 10 for a process that did not get the instance lock: brings the running
// instance to the front. Returns the exit code 0.
int secondInstance();

// The catalogue folder: the first argument when it names an existing folder (and is no
// import URL), else the data folder.
QString catalogDir(const QString& firstArgument, const QString& dataDir);

} // namespace entry

#pragma once

#include <QString>

#include <functional>

class QTranslator;
class SingleInstance;

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

inline constexpr int kNoLock = 1;

// Step 10: takes the instance lock. Another holder means a running instance: it is
// brought to the front and the exit code is 0. When no lock can be taken at all (no
// private runtime folder, a lock file that cannot be opened) `fail` says so and the
// exit code is kNoLock. kGoOn for the first instance.
int instanceStep(SingleInstance& instance, const std::function<void(const QString&)>& fail);

// The catalogue folder: the first argument when it names an existing folder (and is no
// import URL), else the data folder.
QString catalogDir(const QString& firstArgument, const QString& dataDir);

// The toolkit's own texts (file dialogs and their overwrite question, standard buttons)
// in German like the rest, when the translation is installed. The translator must stay
// alive while it is installed.
bool installToolkitTexts(QTranslator& translator);

} // namespace entry

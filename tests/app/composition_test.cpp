// The composition of the main window's integrations: all of them, once, and nothing
// built on a missing part.
#include "commands.h"
#include "composition.h"
#include "main_window.h"
#include "media_dialogs.h"
#include "settings_store.h"
#include "test_env.h"

#include <QSet>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(Composition, EveryIntegrationIsBuiltAndAMissingPartStopsTheBuild) {
    IsolatedEnvironment env;
    const QString catalogue = env.path(QStringLiteral("katalog"));
    QDir().mkpath(catalogue);
    SettingsStore store(env.path(QStringLiteral("config/registry.json")));
    TForm1::Environment e;
    e.catalogDir = catalogue;
    e.dataDir = env.dataDir();
    e.tempDir = env.path(QStringLiteral("runtime"));
    e.store = &store;
    TForm1 w(e);
    const bool built[] = {
        w.mediaIntegration() != nullptr, w.copying() != nullptr, w.streaming() != nullptr,
        w.playback() != nullptr,         w.lists() != nullptr,   w.remote() != nullptr,
        w.statistics() != nullptr,       w.options() != nullptr, w.web() != nullptr};
    for (size_t i = 0; i < std::size(built); ++i)
        EXPECT_TRUE(built[i]) << i;
    // Media's close request comes first, streaming's after it.
    EXPECT_EQ(w.closeRequestHooks.size(), 2u);

    // Without a dialog the media need, nothing is built and nothing is hooked in.
    const QStringList commands = w.commandTable().names();
    // Built whole, the window has every described command and no other.
    QStringList described;
    for (const commandcatalogue::Descriptor& d : commandcatalogue::all())
        described << QLatin1String(d.name);
    EXPECT_EQ(QSet<QString>(commands.begin(), commands.end()),
              QSet<QString>(described.begin(), described.end()));
    EXPECT_EQ(commands.size(), described.size());
    const size_t hooks = w.closeRequestHooks.size() + w.closingHooks.size();
    TForm2* insertMedium = w.Form2;
    TForm6* password = w.Form6;
    const struct {
        TForm2* insertMedium;
        TForm6* password;
    } missing[] = {{nullptr, password}, {insertMedium, nullptr}};
    for (const auto& m : missing) {
        w.Form2 = m.insertMedium;
        w.Form6 = m.password;
        Integrations parts;
        EXPECT_THROW(composeIntegrations(w, w.core(), parts), std::logic_error);
        EXPECT_EQ(parts.media, nullptr);
        EXPECT_EQ(parts.copy, nullptr);
        EXPECT_EQ(w.commandTable().names(), commands);
        EXPECT_EQ(w.closeRequestHooks.size() + w.closingHooks.size(), hooks);
    }
    w.Form2 = insertMedium;
    w.Form6 = password;
}

} // namespace

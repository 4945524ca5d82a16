#pragma once

#include "main_window.h"
#include "options_dialog.h"
#include "options_integration.h"
#include "settings_store.h"
#include "streaming_integration.h"
#include "test_env.h"

#include <QDir>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <memory>

// A main window on an empty catalogue with its own settings file; message boxes are
// answered from a queue (default: OK) and recorded.
class OptionsWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue = env.path(QStringLiteral("katalog"));
        QDir().mkpath(catalogue);
        storePath = env.path(QStringLiteral("config/registry.json"));
        store = std::make_unique<SettingsStore>(storePath);
    }

    std::unique_ptr<TForm1> makeWindow() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        e.executable = QStringLiteral("/usr/bin/vorlune");
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook(
            [this](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
                messages.append(text);
                return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
            });
        return w;
    }

    std::unique_ptr<TForm1> shown() {
        auto w = makeWindow();
        w->show();
        EXPECT_TRUE(waitFor([&] { return w->streaming()->started() && !w->isLoading(); }, 15000));
        return w;
    }

    // Closes the window as the user would, and reads the settings file as the next start.
    void restart(std::unique_ptr<TForm1>& w) {
        w->close();
        w.reset();
        store = std::make_unique<SettingsStore>(storePath);
        ASSERT_TRUE(store->load());
        w = shown();
    }

    static TForm5* dialog(TForm1& w) { return w.options()->dialog(); }

    IsolatedEnvironment env;
    QString catalogue;
    QString storePath;
    std::unique_ptr<SettingsStore> store;
    QStringList messages;
    QList<QMessageBox::StandardButton> answers;
};

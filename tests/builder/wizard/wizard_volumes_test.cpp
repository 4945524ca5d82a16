#include "fake_udisks.h"
#include "udisks_client.h"
#include "udisks_media.h"
#include "wizard_window.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct RecordingDialogs : WizardDialogs {
    QStringList errors;
    bool confirmCancel(QWidget*) override { return true; }
    void information(QWidget*, const QString&) override {}
    void error(QWidget*, const QString& text) override { errors << text; }
};

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QTest::qWait(10);
    }
    return true;
}

class WizardVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        FakeUDisks& fake = FakeUDisks::instance();
        ASSERT_TRUE(fake.error().isEmpty()) << fake.error().toStdString();
        fake.reset();
        ASSERT_TRUE(temp.isValid() && media.isValid());
        dialogs = new RecordingDialogs;
        window = std::make_unique<WizardWindow>(temp.path(), dialogs);
    }
    QString folder(const QString& name) {
        const QString path = QDir(media.path()).filePath(name);
        QDir().mkpath(path + QStringLiteral("/Musik"));
        return path;
    }
    QListWidgetItem* item(const QString& text) {
        const auto found = window->volumeList()->findItems(text, Qt::MatchStartsWith);
        return found.isEmpty() ? nullptr : found.first();
    }

    QTemporaryDir temp, media;
    RecordingDialogs* dialogs = nullptr;
    std::unique_ptr<WizardWindow> window;
};

TEST_F(WizardVolumes, ChoosingAVolumeMountsItAndFillsFolderLabelAndType) {
    FakeUDisks& fake = FakeUDisks::instance();
    UDisksClient client(fake.connect(QStringLiteral("wizard")));
    ASSERT_TRUE(waitUntil([&] { return client.isAvailable(); }));
    window->setVolumeClient(&client);
    EXPECT_TRUE(window->volumeList()->isHidden()); // nothing removable yet

    struct Case {
        const char* name;
        const char* kind;
        const char* label;
        qint64 size;
        const char* listed; // start of the list's text
        int type;
    };
    const Case cases[] = {
        {"sr0", "optical", "Konzert", 650'000'000, "Konzert – ", 4},
        {"sdb1", "usb", "Urlaub", 8'000'000'000LL, "Urlaub – ", 2},
    };
    for (const Case& k : cases)
        fake.addVolume(k.name, QStringLiteral("d") + k.name, k.kind, k.label, k.size,
                       folder(k.name));
    fake.addVolume("sda1", "disk", "fixed", "System", 1000, folder("sda1"));
    ASSERT_TRUE(waitUntil([&] { return window->volumeList()->count() == 2; }));
    EXPECT_FALSE(window->volumeList()->isHidden());
    EXPECT_TRUE(item("Konzert")->text().endsWith("– CD"));
    EXPECT_TRUE(item("Urlaub")->text().endsWith("– USB-Stick"));

    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        QListWidgetItem* it = item(k.label);
        ASSERT_TRUE(it);
        EXPECT_TRUE(it->text().startsWith(QString::fromUtf8(k.listed)));
        window->volumeList()->setCurrentItem(it);
        emit window->volumeList()->itemActivated(it);
        ASSERT_TRUE(waitUntil([&] { return window->flow().baseDir() == folder(k.name); }));
        EXPECT_EQ(window->findChild<QLineEdit*>("mediatitle")->text(), k.label);
        EXPECT_EQ(window->findChild<QComboBox*>("icon")->currentIndex(), k.type);
        EXPECT_EQ(window->flow().typeIndex(), k.type);
    }
    EXPECT_EQ(fake.events(), (QStringList{"mount sr0", "mount sdb1"}));
    // Chosen again while mounted: nothing more is mounted.
    emit window->volumeList()->itemActivated(item("Urlaub"));
    QTest::qWait(100);
    EXPECT_EQ(fake.events().size(), 2);
    EXPECT_TRUE(dialogs->errors.isEmpty());
}

TEST_F(WizardVolumes, RefusedMountIsReportedAndArgumentsPreset) {
    FakeUDisks& fake = FakeUDisks::instance();
    UDisksClient client(fake.connect(QStringLiteral("wizard")));
    ASSERT_TRUE(waitUntil([&] { return client.isAvailable(); }));
    window->setVolumeClient(&client);
    fake.addVolume("sdc1", "stick", "usb", "Privat", 1000, folder("sdc1"));
    fake.refuseMount("sdc1", "Nicht erlaubt");
    ASSERT_TRUE(waitUntil([&] { return window->volumeList()->count() == 1; }));
    emit window->volumeList()->itemActivated(window->volumeList()->item(0));
    ASSERT_TRUE(waitUntil([&] { return !dialogs->errors.isEmpty(); }));
    EXPECT_EQ(dialogs->errors.first(), QString::fromUtf8("Der Datenträger konnte nicht "
                                                         "eingebunden werden: keine Berechtigung "
                                                         "(Nicht erlaubt)"));
    EXPECT_TRUE(window->flow().baseDir().isEmpty());

    // The main program's offer starts the wizard with these arguments.
    const QStringList args = udisksmedia::wizardArguments(folder("stick"), "Neu", "USB");
    window->presetMedium(args.value(1), args.value(3),
                         udisksmedia::typeIndexForCode(args.value(5)));
    EXPECT_EQ(window->flow().baseDir(), folder("stick"));
    EXPECT_EQ(window->flow().label(), "Neu");
    EXPECT_EQ(window->flow().typeIndex(), 2);
}

} // namespace

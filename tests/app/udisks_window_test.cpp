#include "fake_udisks.h"
#include "index_file.h"
#include "main_window.h"
#include "media_access.h"
#include "media_dialogs.h"
#include "media_integration.h"
#include "settings_store.h"
#include "test_env.h"
#include "test_peers.h"
#include "udisks_client.h"

#include <QLabel>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class WindowVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fake().error().isEmpty()) << fake().error().toStdString();
        fake().reset();
        ASSERT_TRUE(media.isValid());
        catalogue = env.path(QStringLiteral("katalog"));
        temp = env.path(QStringLiteral("runtime/vorlune-test"));
        QDir().mkpath(catalogue);
        QDir().mkpath(temp);
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
        // One medium in the catalogue.
        const QStringList lines{"BEGIN::CD", "LABEL::Rock 1", "Rock 1:\\Queen\\",
                                "Rock 1:\\Queen\\01 Innuendo.mp3"};
        QString error;
        ASSERT_TRUE(indexfile::writeIndexFile(catalogue + "/Rock 1.cd", lines, &error));
    }

    static FakeUDisks& fake() { return FakeUDisks::instance(); }

    QString volumeFolder(const QString& name, const QString& holds = QString()) {
        const QString folder = media.path() + u'/' + name;
        QDir().mkpath(folder);
        if (!holds.isEmpty()) writeFile(folder + u'/' + holds + QStringLiteral(".id"), "");
        return folder;
    }

    std::unique_ptr<TForm1> shownAndLoaded() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = temp;
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook(
            [this](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
                boxes << text;
                return QMessageBox::Ok;
            });
        QSignalSpy loaded(w.get(), &TForm1::loadFinished);
        w->show();
        EXPECT_TRUE(loaded.wait(30000));
        UDisksClient* volumes = w->mediaIntegration()->volumes();
        EXPECT_TRUE(waitFor([&] { return volumes->isAvailable(); }));
        return w;
    }

    IsolatedEnvironment env;
    QTemporaryDir media;
    QString catalogue, temp;
    std::unique_ptr<SettingsStore> store;
    QStringList boxes;
};

TEST_F(WindowVolumes, NewVolumeIsOfferedInTheStatusBarAndStartsTheWizard) {
    auto w = shownAndLoaded();
    MediaIntegration* media = w->mediaIntegration();
    QList<QStringList> started;
    media->setWizardStarter([&](const QStringList& args) {
        started << args;
        return true;
    });
    QLabel* offer = media->newMediumOffer();
    ASSERT_TRUE(offer);
    EXPECT_TRUE(offer->isHidden());

    // A medium the catalogue knows is no news.
    fake().addVolume("sdb1", "stick", "usb", "Rock 1", 1000, volumeFolder("sdb1"));
    fake().setMounted("sdb1", true);
    QTest::qWait(300);
    EXPECT_TRUE(offer->isHidden());

    fake().addVolume("sr0", "dvd", "optical", "Urlaub", 4'000'000'000LL, volumeFolder("sr0"));
    fake().setMounted("sr0", true);
    ASSERT_TRUE(waitFor([&] { return offer->isVisible(); }));
    EXPECT_TRUE(offer->text().contains(QString::fromUtf8("Neuer Datenträger „Urlaub“ – jetzt "
                                                         "erfassen?")));
    emit offer->linkActivated(QStringLiteral("new"));
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started.first(),
              (QStringList{"--folder", volumeFolder("sr0"), "--label", "Urlaub", "--type", "CDR"}));
    EXPECT_TRUE(offer->isHidden());
    EXPECT_FALSE(media->acceptNewMediumOffer()); // taken once
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(WindowVolumes, InsertMediumDialogMountsEjectsAndClosingUnmounts) {
    fake().addVolume("sdc1", "stick", "usb", "Rock 1", 1000, volumeFolder("sdc1", "Rock 1"));
    fake().addVolume("sr1", "dvd", "optical", "Film", 4'000'000'000LL, volumeFolder("sr1"));
    auto w = shownAndLoaded();
    MediaIntegration* media = w->mediaIntegration();
    ASSERT_TRUE(waitFor([&] { return media->volumes()->volumes().size() == 2; }));

    // The medium is mounted on request while the dialog waits.
    const QString root = w->mediaAccess()->FindMediumDrive("Rock 1");
    EXPECT_EQ(root, volumeFolder("sdc1"));
    EXPECT_EQ(fake().events(), QStringList{"mount sdc1"});

    // The tree's medium can be ejected while its drive holds it.
    ASSERT_TRUE(waitFor([&] { return !media->ejectableDriveOf("Rock 1").isEmpty(); }));
    EXPECT_TRUE(media->ejectableDriveOf("Pop").isEmpty());
    const QString dvd = media->ejectableDriveOf("Film"); // by the volume's label
    ASSERT_FALSE(dvd.isEmpty());
    media->ejectDrive(dvd, "Film");
    ASSERT_TRUE(waitFor([&] { return fake().events().size() == 2; }));
    EXPECT_EQ(fake().events().last(), "eject dvd");

    // Closing unmounts what was mounted for the title, then closes.
    w->close();
    ASSERT_TRUE(waitFor([&] { return !w->isVisible(); }));
    EXPECT_EQ(fake().events().last(), "unmount sdc1");
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
}

// Volumes that change again and again while their identification files are read: one
// read at a time (one stuck on a drive holds no more), and the last state is read.
TEST_F(WindowVolumes, IdentificationFilesAreReadOnceAtATimeAndAfterTheLastChange) {
    fake().addVolume("sdb1", "stick", "usb", "Urlaub", 1000, volumeFolder("sdb1"));
    fake().setMounted("sdb1", true);
    auto w = shownAndLoaded();
    MediaIntegration* media = w->mediaIntegration();
    UDisksClient* volumes = media->volumes();
    ASSERT_TRUE(waitFor([&] { return !volumes->mountPoints().isEmpty(); }));
    TaskService& tasks = w->core().tasks();
    QSet<tasks::Id> reading;
    int most = 0;
    int reads = 0;
    QObject::connect(&tasks, &TaskService::started, &tasks,
                     [&](tasks::Id id, tasks::Kind, const QString& label) {
                         if (label != QStringLiteral("Datenträger durchsuchen")) return;
                         reading.insert(id);
                         ++reads;
                         most = std::max(most, int(reading.size()));
                     });
    QObject::connect(&tasks, &TaskService::finished, &tasks,
                     [&](tasks::Id id) { reading.remove(id); });
    ASSERT_TRUE(media->ejectableDriveOf("Pop").isEmpty());
    for (int i = 0; i < 10; ++i)
        emit volumes->volumesChanged();
    volumeFolder("sdb1", "Pop"); // written after the reads were asked for
    emit volumes->volumesChanged();
    ASSERT_TRUE(waitFor([&] { return reads > 0 && reading.isEmpty(); }));
    EXPECT_EQ(most, 1);
    EXPECT_LE(reads, 2); // the one under way, then once more for all the changes after it
    EXPECT_FALSE(media->ejectableDriveOf("Pop").isEmpty());
}

} // namespace

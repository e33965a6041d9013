// A host over a settings record and an INI file in a temporary folder, and
// a watcher that answers the one-line dialogs as a user would.
#pragma once

#include <QComboBox>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

#include "app/desktop/dialogs/dialog_host.h"
#include "support/fake_world.h"

namespace tolvane::desktop::testing {

// The dialogs' host over a real engine in a fake world, as the main window
// is: what the dialogs hand over goes through Engine::ApplySettings.
class TestHost : public DialogHost {
public:
    explicit TestHost(const Settings& settings = Settings());

    Settings& CurrentSettings() override { return rig.engine->settings(); }
    bool SaveSettingsFile() override;
    void SettingsChanged(unsigned changes) override { reported.push_back(changes); }
    const Statistics& CurrentStatistics() override { return rig.engine->Stats(); }
    void ApplySettings(const Settings& next, unsigned changes) override;

    Settings& Live() { return rig.engine->settings(); }
    // The record as the saved file gives it back.
    Settings Saved() const;
    // OR of everything reported.
    unsigned AllReported() const;

    tolvane::testing::TestRig rig;
    std::vector<unsigned> reported;
    int saves = 0;

private:
    QTemporaryDir folder_;
    std::string path_;
};

// Answers every one-line dialog opened while it lives: keeps its text and
// presses OK, or Cancel when `answer` is false.
class MessageWatcher : public QObject {
public:
    explicit MessageWatcher(bool answer = true);
    QStringList texts;
    bool answer;

private:
    QTimer timer_;
};

// Picks an item the way a user completes a choice in a list.
void Choose(QComboBox* list, int item);

}  // namespace tolvane::desktop::testing

// The main window: owns the engine, the two panes with their splitter, the
// 100 ms tick and the menu commands. A thin client: the engine decodes,
// this window paints, forwards input and implements the outside world
// with Qt.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/desktop/band_panel.h"
#include "app/desktop/dialogs/dialog_host.h"
#include "app/desktop/pane_widget.h"
#include "app/desktop/qt_world.h"
#include "engine/engine.h"
#include "engine/input_session.h"
#include "engine/recording_clock.h"
#include "platform/mqtt_publisher.h"
#include "platform/publisher_retirement.h"
#include "platform/system_world.h"
#include "settings/settings_file.h"

class QSplitter;
class QLabel;

namespace tolvane::desktop {

inline constexpr const char* kAppTitleText = " Tolvane - FLEX/POCSAG/Golay Monitor";
// The package's version, from the build.
inline constexpr const char* kVersionText = "Tolvane Version " TOLVANE_VERSION;

// Menu command ids; the accelerators send the same.
enum Command : int {
    kLogfile = 200, kClearDisplay = 201, kExit = 202, kCopy = 203, kCopyLowerPane = 204, kCopyUpperPane = 205,
    kInterface = 206, kOptions = 207, kFont = 208, kColors = 209, kScrollback = 210, kFilters = 213,
    kStatistics = 214, kKeepAlive = 215, kHelpTopics = 216, kAbout = 218, kMqtt = 220,
    kChannels = 221, kSpectrum = 222,
};

class PaneSplitter;

class MainWindow : public QMainWindow, public DialogHost, private TitleSink, private MessageSink, private FileStatusSink {
public:
    struct Options {
        std::string settingsPath;  // where the settings are saved; empty: never saved
        std::string input;         // INPUT as tolvane-cli reads it; empty: none
        std::string helpPath;      // the HTML help's index
        bool loop = false;         // replay a recording again when it ends (--demo)
        WallClock* clock = nullptr;  // the time of live input; nullptr: the system's (tests give their own)
    };

    MainWindow(const Settings& settings, Options options, SoundPlayer& sound, QWidget* parent = nullptr);
    ~MainWindow() override;

    Engine& engine() { return *engine_; }
    PaneWidget& LowerPane() { return *lower_; }
    PaneWidget& UpperPane() { return *upper_; }
    Selection& CurrentSelection() { return selection_; }
    PaneSplitter& Splitter() { return *splitter_; }
    std::uint32_t LineWidth() const { return engine_->LineWidth(); }
    const FontCells& Cells() const { return cells_; }
    bool InputAttached() const { return session_ && session_->State() == SessionState::Running; }
    // The publisher the settings' MqttBroker asks for; nullptr without one.
    const MqttPublisher* Publisher() const { return records_.publisher.get(); }
    // The status line's problem (a file or the broker); empty without one.
    QString StatusText() const;
    // The count of repeats folded, at the right of the status line; empty
    // until a repeat is folded.
    QString RepeatsText() const;
    // The status line's account of the input: what it is and how it is doing.
    QString InputStatusText() const;
    // The IQ band's channels in the status line and its spectrum.
    BandPanel& Band() { return *band_; }

    // One menu command (the ids above); others are ignored.
    void RunCommand(int id);
    // What loading the settings found, shown in the status line and on
    // standard error. A file that could not be read is never saved over:
    // the window runs on the defaults, not on what the file holds.
    void ReportSettingsLoad(const SettingsLoad& load);
    // Closes the window without the exit question (the program was asked
    // to end from outside).
    void CloseWithoutAsking();
    // One 100 ms tick (the timer calls it; tests may too).
    void Tick();
    // The pane font from the settings: measured, both panes laid out again
    // and, when the row width changes with it, re-flowed.
    void ApplyFont();

    // DialogHost.
    const Settings& CurrentSettings() const override { return engine_->settings(); }
    // The engine applies them; the window follows (the panes, the input, the
    // publisher).
    void ApplySettings(const Settings& next) override;
    bool SaveSettingsFile() override;
    Settings SettingsAsSeen() const;
    const Statistics& CurrentStatistics() override { return engine_->Stats(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The folded-repeats count in the status line, when it has changed.
    void ShowFoldedRepeats();
    void SetTitle(std::string_view title) override;
    void ShowMessage(std::string_view text) override;
    // An output file that cannot be written shows in the status line until
    // it works again.
    void FileFailed(const std::string& path, const std::string& reason) override;
    void FileWorksAgain(const std::string& path) override;
    // Problems shown in the status line until they are over, one per key
    // (a file's path; kMqttTrouble for the broker), the latest shown.
    void ShowTrouble(const std::string& key, const std::string& text);
    void ClearTrouble(const std::string& key);
    // A settings trouble, in the status line and on standard error (it may
    // come at exit, when only the terminal can show it).
    void ShowSettingsTrouble(const std::string& text);
    // Publishes the pages to the broker the settings name, from now on in
    // place of any publisher before; none without MqttBroker.
    void AttachPublisher();
    // Called on the GUI thread for the publisher of this generation.
    void PublisherNotice(unsigned generation, MqttEvent event, const std::string& text);

    void BuildMenus();
    // The saved place and size, on a screen that exists and inside its work
    // area, maximised if it was.
    void RestorePlacement();
    bool InNormalState() const;
    // The command line's input, else the one the settings choose.
    const std::string& InputName() const;
    void AttachInput();
    // Shows the input's state in the status line.
    void ShowInputStatus();
    void UpdateLineWidth();
    // Runs one of the setup, filter or monitor dialogs; true when confirmed.
    bool RunDialog(bool (*dialog)(QWidget*, DialogHost&));
    void CopySelection();
    void CopyToClipboard(const std::string& text);
    void FontCommand();
    void ColorsCommand();
    void HelpCommand();
    // Setup > Channels; a carrier clicked in the spectrum comes with its frequency.
    void ChannelsCommand(std::optional<double> newFrequencyHz);
    // The input when it is an IQ band, else nullptr.
    const IqSource* BandInput() const;

    Options options_;
    SoundPlayer& sound_;
    SystemClock systemClock_;
    WallClock& clock_;
    // A recording named on the command line runs on its own time.
    std::optional<RecordingClock> recordingClock_;
    ClockSwitch engineClock_{clock_};
    SpawnCommandLauncher commands_;
    AppendFileOpener files_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<InputSession> session_;
    // What the input tells of itself (damaged audio skipped, the receiver's
    // frequency error): news about the input, shown after its state in the
    // status line and on standard error, never in a box that stops the user.
    class InputNotices : public MessageSink {
    public:
        explicit InputNotices(MainWindow& window) : window_(window) {}
        void ShowMessage(std::string_view text) override;
        std::string latest;

    private:
        MainWindow& window_;
    };
    InputNotices inputNotices_{*this};
    Selection selection_;
    FontCells cells_;
    bool askBeforeClosing_ = true;
    bool settingsUnread_ = false;  // the settings file could not be read at start
    PaneSplitter* splitter_ = nullptr;
    PaneWidget* upper_ = nullptr;
    PaneWidget* lower_ = nullptr;
    QTimer sampleTimer_;
    QLabel* inputStatus_ = nullptr;
    QLabel* fileStatus_ = nullptr;
    QLabel* repeatsStatus_ = nullptr;
    std::unique_ptr<BandPanel> band_;
    std::uint64_t repeatsShown_ = 0;
    std::map<std::string, std::string> troubles_;  // key -> the line shown
    std::string latestTrouble_;
    // The engine's record sink for the life of the window: the publisher
    // changes with the settings, and the drops of one replaced still reach
    // the statistics report.
    struct PublisherSlot : RecordSink {
        std::unique_ptr<MqttPublisher> publisher;
        std::uint64_t carriedDrops = 0;
        void PageRecorded(std::string_view json) override {
            if (publisher) publisher->PageRecorded(json);
        }
        void AlarmRaised(std::string_view json) override {
            if (publisher) publisher->AlarmRaised(json);
        }
        std::uint64_t TakeDropped() override;
        // Hands the publisher over to be finished (delivering what it can
        // within `wait`) without waiting for it.
        void Drop(std::chrono::milliseconds wait);
        // Replaced publishers still finishing, whose drops are yet to come.
        bool Finishing() { return !retirement.WaitAll(std::chrono::milliseconds(0)); }
        PublisherRetirement retirement;
    } records_;
    unsigned publisherGeneration_ = 0;
    // Settings files without the inside size: the outer size, applied once
    // the frame is known.
    QSize savedOuterSize_;
    // The window in its normal state (neither maximised nor minimised), as
    // it is saved: frame place and outer size, and the inside size.
    QRect normalFrame_;
    QSize normalInside_;
};

// The splitter between the panes shares the height by the Percent setting
// (the lower pane's share) and hands a dragged share to `dragged`. Its
// handle is the lower pane's sizing border: LowerPaneHeight counts it.
class PaneSplitter : public QWidget {
public:
    PaneSplitter(double percent, std::function<void(double)> dragged, QWidget* upper, QWidget* lower, QWidget* parent);

    int LowerPaneHeight() const { return lowerHeight_; }
    int UpperPaneHeight() const { return upperHeight_; }
    // Lays out the panes from Percent.
    void LayOut();
    // What a drag of the lower pane's top edge does: the lower pane (with
    // its border) becomes lowerHeight pixels high and Percent follows.
    void DragLowerPaneTo(int lowerHeight);
    void SetMinimumLowerHeight(int pixels);
    QWidget* Handle() const { return handle_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class SplitterHandle;
    double percent_;
    std::function<void(double)> dragged_;
    QWidget* upper_;
    QWidget* lower_;
    QWidget* handle_;
    int lowerHeight_ = 0;
    int upperHeight_ = 0;
    int minimumLower_ = 1;
};

}  // namespace tolvane::desktop

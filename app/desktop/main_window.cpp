#include "app/desktop/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>
#include <cstdio>

#include "app/desktop/colors_dialog.h"
#include "app/desktop/dialogs/channels_dialog.h"
#include "app/desktop/dialogs/message_box.h"
#include "settings/settings_file.h"

namespace tolvane::desktop {

namespace {

// The status line's key for the broker; no file has an empty path.
const std::string kMqttTrouble;
// How long queued pages may take to reach the broker when the publisher is
// replaced and when the program ends.
constexpr std::chrono::milliseconds kReplaceWait{1000};
constexpr std::chrono::milliseconds kExitWait{3000};
// A replaced publisher whose broker is away ends at once: waiting this long
// for it counts its drops in the report of the change. At exit, finishing
// may take the wait plus a second to say "offline".
constexpr std::chrono::milliseconds kQuickEnd{100};
constexpr std::chrono::milliseconds kExitLimit = kExitWait + std::chrono::milliseconds(2000);

// Saved places and sizes beyond this many pixels (a damaged settings file)
// are taken as this far, so that no rectangle overflows.
constexpr int kFarthest = 1 << 20;

// The screen that shows most of a window's frame; the primary screen when
// none shows any of it (a monitor was unplugged since).
const QScreen* ScreenShowing(const QRect& frame) {
    const QScreen* best = QGuiApplication::primaryScreen();
    qint64 most = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = screen->availableGeometry().intersected(frame);
        const qint64 area = qint64{shown.width()} * shown.height();
        if (area > most) {
            most = area;
            best = screen;
        }
    }
    return best;
}

}  // namespace

// ---- The splitter --------------------------------------------------------

class SplitterHandle : public QWidget {
public:
    explicit SplitterHandle(PaneSplitter& splitter) : QWidget(&splitter), splitter_(splitter) {
        setCursor(Qt::SizeVerCursor);
        setFixedHeight(kHeight);
    }
    static constexpr int kHeight = 4;

protected:
    void mousePressEvent(QMouseEvent* event) override { grab_ = static_cast<int>(event->position().y()); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton)) return;
        const int top = mapToParent(event->position().toPoint()).y() - grab_;
        splitter_.DragLowerPaneTo(splitter_.height() - top);
    }

private:
    PaneSplitter& splitter_;
    int grab_ = 0;
};

PaneSplitter::PaneSplitter(double percent, std::function<void(double)> dragged, QWidget* upper, QWidget* lower,
                           QWidget* parent)
    : QWidget(parent), percent_(percent), dragged_(std::move(dragged)), upper_(upper), lower_(lower) {
    upper_->setParent(this);
    lower_->setParent(this);
    handle_ = new SplitterHandle(*this);
    handle_->setAutoFillBackground(true);
}

void PaneSplitter::SetMinimumLowerHeight(int pixels) {
    minimumLower_ = std::max(1, pixels) + SplitterHandle::kHeight;
    LayOut();
}

void PaneSplitter::LayOut() {
    const int h = height();
    const int w = width();
    lowerHeight_ = static_cast<int>(h * percent_ * 0.01);
    // Never lower than one text row and its border, while the window has
    // room for it.
    lowerHeight_ = std::min(h, std::max(lowerHeight_, minimumLower_));
    upperHeight_ = h - lowerHeight_;
    upper_->setGeometry(0, 0, w, upperHeight_);
    handle_->setGeometry(0, upperHeight_, w, std::min(SplitterHandle::kHeight, lowerHeight_));
    lower_->setGeometry(0, upperHeight_ + SplitterHandle::kHeight, w,
                        std::max(0, lowerHeight_ - SplitterHandle::kHeight));
}

void PaneSplitter::DragLowerPaneTo(int lowerHeight) {
    const int h = height();
    lowerHeight = std::min(h, std::max(lowerHeight, minimumLower_));
    // The share is the lower pane's outer height plus one over the client
    // height plus one: the measure the Percent values in settings files
    // were stored with, so that they give back the same split.
    percent_ = std::min(100.0, (lowerHeight + 1) * 100.0 / (h + 1));
    LayOut();
    dragged_(percent_);
}

void PaneSplitter::resizeEvent(QResizeEvent*) { LayOut(); }

// ---- The main window -----------------------------------------------------

MainWindow::MainWindow(const Settings& settings, Options options, SoundPlayer& sound, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      sound_(sound),
      clock_(options_.clock != nullptr ? *options_.clock : systemClock_) {
    setWindowTitle(kAppTitleText);
    // Page times, statistics hours and keep-alive periods of a recording fall
    // where they fell on the air, as in tolvane-cli.
    if (!options_.input.empty() && !IsLiveInput(options_.input)) {
        recordingClock_.emplace(RecordingStart(options_.input, InputOptions{}, settings).value_or(clock_.Now()));
        engineClock_.Use(*recordingClock_);
    }
    // The status line exists before the engine, which reports the files it
    // cannot open as it starts.
    inputStatus_ = new QLabel(this);
    fileStatus_ = new QLabel(this);
    statusBar()->addWidget(inputStatus_);
    statusBar()->addWidget(fileStatus_, 1);  // empty unless a file or the broker is in trouble
    repeatsStatus_ = new QLabel(this);
    statusBar()->addPermanentWidget(repeatsStatus_);  // empty until a repeat is folded
    band_ = std::make_unique<BandPanel>(*this, [this](double hz) { ChannelsCommand(hz); });
    engine_ = std::make_unique<Engine>(
        settings, OutsideWorld{engineClock_, *this, sound_, commands_, *this, files_, *this});
    session_ = std::make_unique<InputSession>(*engine_);
    session_->SetNoticeSink(&inputNotices_);
    const Settings& s = engine_->settings();

    upper_ = new PaneWidget(engine_->output().FilterPane, s, selection_);
    lower_ = new PaneWidget(engine_->output().MessagePane, s, selection_);
    splitter_ = new PaneSplitter(
        s.Percent,
        [this](double percent) {
            Settings next = engine_->settings();
            next.Percent = percent;
            engine_->ApplySettings(next);
        },
        upper_, lower_, this);
    setCentralWidget(splitter_);
    ShowInputStatus();
    AttachPublisher();
    BuildMenus();
    setFocusPolicy(Qt::StrongFocus);
    ResetCustomColors();

    RestorePlacement();
    ApplyFont();

    connect(&sampleTimer_, &QTimer::timeout, this, &MainWindow::Tick);
    sampleTimer_.start(100);
    // The input is attached once the window is up: an error about it then
    // has a window to show over, and the first pages find the panes laid out.
    QTimer::singleShot(0, this, &MainWindow::AttachInput);
}

MainWindow::~MainWindow() {
    sampleTimer_.stop();
    SaveSettingsFile();
    session_.reset();
    engine_->SetRecordSink(nullptr, {});
    records_.Drop(kExitWait);
    // Its notices are queued to this window: it must be gone before the window.
    records_.retirement.WaitAll(kExitLimit);
    // The panes go before the engine whose grids they show.
    delete takeCentralWidget();
    engine_.reset();
}

void MainWindow::BuildMenus() {
    struct Item {
        const char* menu;
        int id;
        const char* text;
        QList<QKeySequence> keys;
    };
    const Item items[] = {
        {"&File", kLogfile, "&Logfile...", {QKeySequence(Qt::CTRL | Qt::Key_L)}},
        {"&File", kClearDisplay, "&Clear Display...", {QKeySequence(Qt::CTRL | Qt::Key_D)}},
        {"&File", kExit, "E&xit", {QKeySequence(Qt::ALT | Qt::Key_X)}},
        {"&Edit", kCopy, "&Copy", {QKeySequence(Qt::CTRL | Qt::Key_C)}},
        {"&Edit", kCopyLowerPane, "&Copy Lower Pane", {QKeySequence(Qt::CTRL | Qt::Key_PageDown)}},
        {"&Edit", kCopyUpperPane, "&Copy Upper Pane", {QKeySequence(Qt::CTRL | Qt::Key_PageUp)}},
        {"&Setup", kInterface, "&Interface...", {}},
        {"&Setup", kChannels, "C&hannels...", {}},
        {"&Setup", kOptions, "&Options...", {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {"&Setup/&Display", kFont, "&Font...", {}},
        {"&Setup/&Display", kColors, "&Colors...", {}},
        {"&Setup/&Display", kScrollback, "&Scrollback...", {}},
        {"&Setup", kFilters, "Fi&lters...", {}},
        {"&Setup", kStatistics, "&Statistics...", {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {"&Setup", kKeepAlive, "&Keep Alive...", {}},
        {"&Setup", kMqtt, "&MQTT...", {}},
        {"&View", kSpectrum, "IQ Band &Spectrum", {}},
        {"&Help", kHelpTopics, "&Help Topics...", {QKeySequence(Qt::Key_F1), QKeySequence(Qt::ALT | Qt::Key_F1)}},
        {"&Help", kAbout, "&About Tolvane...",
         {QKeySequence(Qt::ALT | Qt::Key_Slash), QKeySequence(Qt::ALT | Qt::Key_Question)}},
    };
    std::map<QString, QMenu*> menus;
    for (const Item& item : items) {
        const QString path = QString::fromLatin1(item.menu);
        QMenu*& menu = menus[path];
        if (menu == nullptr) {
            const int slash = static_cast<int>(path.indexOf('/'));
            menu = slash < 0 ? menuBar()->addMenu(path) : menus[path.left(slash)]->addMenu(path.mid(slash + 1));
        }
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setShortcuts(item.keys);
        // Shortcuts work while a pane or the menu bar has the focus.
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
}

void MainWindow::RunCommand(int id) {
    switch (id) {
        case kLogfile: RunDialog(&ShowLogfileDialog); break;
        case kClearDisplay:
            for (PaneWidget* pane : {lower_, upper_}) {
                pane->Pane().ClearPane();
                pane->Canvas()->update();
            }
            break;
        case kExit: QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); break;
        case kCopy: CopySelection(); break;
        case kCopyLowerPane: CopyToClipboard(lower_->CopyShownRows()); break;
        case kCopyUpperPane: CopyToClipboard(upper_->CopyShownRows()); break;
        case kInterface: RunDialog(&ShowInterfaceDialog); break;
        case kOptions: RunDialog(&ShowOptionsDialog); break;
        case kFont: FontCommand(); break;
        case kColors: ColorsCommand(); break;
        case kScrollback: RunDialog(&ShowScrollbackDialog); break;
        case kFilters: RunDialog(&ShowFiltersDialog); break;
        case kStatistics: RunDialog(&ShowStatisticsDialog); break;
        case kKeepAlive:
            // Confirmed, it re-arms the watch and silences an alarm, whether
            // or not its ranges changed.
            if (RunDialog(&ShowKeepAliveDialog)) engine_->Watch().Reconfigure();
            break;
        case kMqtt: RunDialog(&ShowMqttDialog); break;
        case kChannels: ChannelsCommand(std::nullopt); break;
        case kSpectrum: band_->ToggleSpectrum(); break;
        case kHelpTopics: HelpCommand(); break;
        case kAbout: MessageDialog(this, kVersionText, MessageIcon::Information); break;
        default: break;
    }
}

void MainWindow::Tick() {
    const SessionState before = session_->State();
    if (session_->State() == SessionState::Running) {
        session_->Poll();
    } else {
        engine_->Tick();  // the timed work goes on without input
    }
    if (session_->State() == SessionState::Ended && options_.loop) session_->Restart();
    if (session_->State() == SessionState::Failed) {
        ShowMessage(session_->Error());
        ShowInputStatus();
        session_->Stop();
    }
    if (session_->State() != before) ShowInputStatus();
    engine_->ShowPendingMessages();
    ShowFoldedRepeats();
    band_->Refresh(BandInput(), engine_->settings().Iq.Channels, [this](std::size_t channel) {
        return channel < engine_->ReceiverCount() ? engine_->ReceiverAt(channel).ModeCode() : -1;
    });
}

const IqSource* MainWindow::BandInput() const { return dynamic_cast<const IqSource*>(session_->Source()); }

void MainWindow::ShowFoldedRepeats() {
    const std::uint64_t folded = engine_->FoldedRepeats();
    if (folded == repeatsShown_) return;
    repeatsShown_ = folded;
    repeatsStatus_->setText(QString("Repeats folded: %1").arg(folded));
}

// ---- Input ---------------------------------------------------------------

const std::string& MainWindow::InputName() const {
    return options_.input.empty() ? engine_->settings().Input.Input : options_.input;
}

void MainWindow::AttachInput() {
    session_->Stop();
    inputNotices_.latest.clear();
    const std::string& name = InputName();
    if (!name.empty()) {
        InputOptions inputOptions;
        inputOptions.paced = true;  // a recording replays at its own speed
        // A source that cannot be opened is reported; the program stays up
        // without input.
        if (!session_->Start(name, inputOptions, true)) ShowMessage(session_->Error());
    }
    ShowInputStatus();
    if (session_->State() == SessionState::Failed) session_->Stop();
}

void MainWindow::ShowInputStatus() {
    const std::string& name = InputName();
    const QString shown = name == "-" ? QString("standard input") : QString::fromLocal8Bit(name.c_str());
    QString text;
    if (name.empty()) {
        text = "No input chosen: choose one in Setup > Interface";
    } else if (session_->State() == SessionState::Failed) {
        text = QString::fromLocal8Bit(session_->Error().c_str());
    } else if (session_->State() == SessionState::Ended) {
        text = "Recording ended: " + shown;
    } else if (session_->State() == SessionState::Running) {
        text = (IsLiveInput(name) || name == "-" ? "Live input: " : "Playing recording: ") + shown;
    } else {
        return;  // stopped after a failure: its message stays
    }
    if (!inputNotices_.latest.empty() && session_->State() != SessionState::Failed)
        text += " - " + QString::fromLocal8Bit(inputNotices_.latest.c_str());
    inputStatus_->setText(text);
}

void MainWindow::InputNotices::ShowMessage(std::string_view text) {
    latest.assign(text);
    std::fprintf(stderr, "tolvane: %s\n", latest.c_str());
    window_.ShowInputStatus();
}

// ---- Settings ------------------------------------------------------------

// The settings with the window's place as the user saw it: the normal
// frame and inside size, even while maximised.
Settings MainWindow::SettingsAsSeen() const {
    Settings saved = engine_->settings();
    saved.xPos = normalFrame_.x();
    saved.yPos = normalFrame_.y();
    saved.xSize = normalFrame_.width();
    saved.ySize = normalFrame_.height();
    saved.Window = {normalInside_.width(), normalInside_.height(), isMaximized() ? 1 : 0};
    return saved;
}

bool MainWindow::SaveSettingsFile() {
    const std::string& path = options_.settingsPath;
    if (path.empty()) return true;
    std::string problem;
    if (settingsUnread_) {
        problem = "settings not saved: " + path + " could not be read at start";
    } else if (SaveSettings(kAppName, path, SettingsAsSeen(), &problem)) {
        ClearTrouble(path);
        return true;
    }
    ShowSettingsTrouble(problem);
    return false;
}

void MainWindow::ReportSettingsLoad(const SettingsLoad& load) {
    if (load.messages.empty()) return;
    settingsUnread_ = load.file == FileState::Unreadable;
    std::vector<std::string> messages = load.messages;
    if (settingsUnread_) messages.front() += " (the defaults are used; the file is left as it is)";
    for (const std::string& message : messages) std::fprintf(stderr, "tolvane: %s\n", message.c_str());
    const std::size_t more = messages.size() - 1;
    ShowTrouble(options_.settingsPath,
                messages.front() + (more > 0 ? " (and " + std::to_string(more) + " more on standard error)" : ""));
}

void MainWindow::ShowSettingsTrouble(const std::string& text) {
    std::fprintf(stderr, "tolvane: %s\n", text.c_str());
    ShowTrouble(options_.settingsPath, text);
}

bool MainWindow::RunDialog(bool (*dialog)(QWidget*, DialogHost&)) { return dialog(this, *this); }

void MainWindow::ChannelsCommand(std::optional<double> newFrequencyHz) { ShowChannelsDialog(this, *this, newFrequencyHz); }

void MainWindow::ApplySettings(const Settings& next) {
    const bool machineChanged = !(next.Machine == engine_->settings().Machine);
    // A new channel list restarts the input too, which stays the one named.
    const bool inputChosen = !(next.Input == engine_->settings().Input);
    const SettingsEffect effect = engine_->ApplySettings(next);
    const Settings& now = engine_->settings();
    if (now.Pane1Size != next.Pane1Size || now.Pane2Size != next.Pane2Size) {
        MessageDialog(this, "Error Allocating Memory!");
    }
    if (inputChosen) {
        options_.input.clear();  // the dialog's input replaces the command line's
        engineClock_.Use(clock_);
    }
    if (machineChanged) AttachPublisher();
    lower_->Reattach();
    upper_->Reattach();
    if (effect.restartInput) {
        AttachInput();
    } else if (effect.resliceInput) {
        session_->ApplySlicing();
    }
}

// ---- Window events -------------------------------------------------------

void MainWindow::SetTitle(std::string_view title) { setWindowTitle(QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()))); }

void MainWindow::ShowMessage(std::string_view text) {
    // Messages may come from inside a tick: shown once the tick is over, so
    // that a modal dialog never runs a tick inside a tick.
    const QString line = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    // The user's OK on the off-the-air message stops the alarm sound and
    // starts a new watch period.
    const bool alarm = text == kOffTheAirText;
    QMetaObject::invokeMethod(
        this,
        [this, line, alarm] {
            MessageDialog(this, line);
            if (alarm) engine_->Watch().AcknowledgeAlarm();
        },
        Qt::QueuedConnection);
}

void MainWindow::FileFailed(const std::string& path, const std::string& reason) {
    ShowTrouble(path, FileFailedText(path, reason));
}

void MainWindow::FileWorksAgain(const std::string& path) { ClearTrouble(path); }

void MainWindow::ShowTrouble(const std::string& key, const std::string& text) {
    troubles_[key] = text;
    latestTrouble_ = key;
    fileStatus_->setText(QString::fromLocal8Bit(text.c_str()));
}

void MainWindow::ClearTrouble(const std::string& key) {
    if (troubles_.erase(key) == 0) return;
    if (troubles_.empty()) {
        fileStatus_->clear();
        return;
    }
    if (key == latestTrouble_) latestTrouble_ = troubles_.begin()->first;
    fileStatus_->setText(QString::fromLocal8Bit(troubles_[latestTrouble_].c_str()));
}

QString MainWindow::StatusText() const { return fileStatus_->text(); }

QString MainWindow::InputStatusText() const { return inputStatus_->text(); }

QString MainWindow::RepeatsText() const { return repeatsStatus_->text(); }

// ---- Publishing ------------------------------------------------------------

std::uint64_t MainWindow::PublisherSlot::TakeDropped() {
    const std::uint64_t dropped =
        carriedDrops + retirement.TakeDropped() + (publisher ? publisher->TakeDropped() : 0);
    carriedDrops = 0;
    return dropped;
}

void MainWindow::PublisherSlot::Drop(std::chrono::milliseconds wait) {
    if (!publisher) return;
    retirement.Retire(std::move(publisher), wait);
    retirement.WaitAll(kQuickEnd);
    carriedDrops += retirement.TakeDropped();
}

void MainWindow::AttachPublisher() {
    const MachineChoice& machine = engine_->settings().Machine;
    const std::string receiver = ReceiverNameOf(machine);
    records_.Drop(kReplaceWait);
    ++publisherGeneration_;  // notices of the one before are not shown any more
    ClearTrouble(kMqttTrouble);
    // The sink stays while a replaced publisher's drops are still to be reported.
    engine_->SetRecordSink(
        machine.MqttBroker.empty() && records_.carriedDrops == 0 && !records_.Finishing() ? nullptr : &records_, receiver);
    if (machine.MqttBroker.empty()) return;
    MqttOptions options;
    std::string error;
    if (!MqttOptionsFor(machine.MqttBroker, machine, receiver, options, error)) {
        ShowTrouble(kMqttTrouble, "MQTT: " + error);
        return;
    }
    // Notices come from the publisher's own thread.
    options.notice = [this, generation = publisherGeneration_](MqttEvent event, const std::string& text) {
        QMetaObject::invokeMethod(
            this, [this, generation, event, text] { PublisherNotice(generation, event, text); }, Qt::QueuedConnection);
    };
    records_.publisher = std::make_unique<MqttPublisher>(std::move(options));
    records_.publisher->Start();
}

void MainWindow::PublisherNotice(unsigned generation, MqttEvent event, const std::string& text) {
    if (generation != publisherGeneration_) return;
    switch (event) {
        case MqttEvent::Trouble: ShowTrouble(kMqttTrouble, text); break;
        case MqttEvent::Connected: ClearTrouble(kMqttTrouble); break;
        case MqttEvent::Dropped: break;  // counted in the statistics report
    }
}

void MainWindow::CloseWithoutAsking() {
    askBeforeClosing_ = false;
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (askBeforeClosing_ && engine_->settings().ConfirmExit && !QuestionDialog(this, "Tolvane Will Now Exit")) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
        case Qt::Key_PageUp: lower_->ScrollPane(ScrollRequest::PageUp); break;
        case Qt::Key_PageDown: lower_->ScrollPane(ScrollRequest::PageDown); break;
        case Qt::Key_End: lower_->ScrollPane(ScrollRequest::Bottom); break;
        case Qt::Key_Home: lower_->ScrollPane(ScrollRequest::Top); break;
        case Qt::Key_Up: lower_->ScrollPane(ScrollRequest::LineUp); break;
        case Qt::Key_Down: lower_->ScrollPane(ScrollRequest::LineDown); break;
        default: QMainWindow::keyPressEvent(event); break;
    }
}

// ---- Placement -------------------------------------------------------------

void MainWindow::RestorePlacement() {
    const Settings& s = engine_->settings();
    const WindowChoice& left = s.Window;
    const auto place = [](std::int32_t at) { return std::clamp(at, -kFarthest, kFarthest); };
    const auto size = [](std::int32_t pixels, int least) { return std::clamp(pixels, least, kFarthest); };
    QRect frame(place(s.xPos), place(s.yPos), size(s.xSize, 80), size(s.ySize, 60));
    const bool insideKnown = left.ClientWidth > 0 && left.ClientHeight > 0;
    QSize inside = insideKnown ? QSize(size(left.ClientWidth, 1), size(left.ClientHeight, 1)) : frame.size();
    const QSize border = insideKnown ? (frame.size() - inside).expandedTo(QSize(0, 0)) : QSize(0, 0);
    if (const QScreen* screen = ScreenShowing(frame)) {
        // All of the window on that screen's work area.
        const QRect work = screen->availableGeometry();
        frame.setSize(frame.size().boundedTo(work.size()));
        frame.moveLeft(std::clamp(frame.left(), work.left(), work.right() + 1 - frame.width()));
        frame.moveTop(std::clamp(frame.top(), work.top(), work.bottom() + 1 - frame.height()));
        inside = inside.boundedTo(work.size() - border).expandedTo(QSize(1, 1));
    }
    move(frame.topLeft());
    normalFrame_ = frame;
    normalInside_ = inside;
    if (!insideKnown) savedOuterSize_ = frame.size();  // made the outer size once the frame is known
    resize(inside);
    if (left.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

bool MainWindow::InNormalState() const {
    return !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (isMinimized()) return;
    if (InNormalState()) {
        normalFrame_.setSize(frameGeometry().size());
        normalInside_ = size();
    }
    UpdateLineWidth();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (savedOuterSize_.isEmpty()) return;
    // The frame is known now: the stored outer size becomes the window's.
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(savedOuterSize_ - frame);
    savedOuterSize_ = QSize();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (InNormalState()) normalFrame_.moveTopLeft(frameGeometry().topLeft());
}

void MainWindow::UpdateLineWidth() {
    const std::uint32_t before = engine_->LineWidth();
    engine_->SetPaneGeometry(frameGeometry().width(), cells_.charWidth);
    if (engine_->LineWidth() == before) return;
    lower_->Reattach();
    upper_->Reattach();
}

void MainWindow::ApplyFont() {
    const QFont font = FontFromRecord(engine_->settings().Font);
    cells_ = MeasureFont(font);
    upper_->SetFont(font, cells_);
    lower_->SetFont(font, cells_);
    splitter_->SetMinimumLowerHeight(cells_.lineHeight);
    setMinimumHeight(menuBar()->sizeHint().height() + cells_.lineHeight + SplitterHandle::kHeight + 1);
    UpdateLineWidth();
}

// ---- Commands --------------------------------------------------------------

void MainWindow::CopySelection() {
    if (!selection_.active || selection_.pane == nullptr) {
        sound_.Beep();
        return;
    }
    Selection taken = selection_;
    selection_.active = selection_.shown = selection_.dragging = false;
    taken.pane->Canvas()->update();
    CopyToClipboard(taken.pane->CopyText(taken.FirstCol(), taken.LastCol(), taken.FirstRow(), taken.LastRow()));
}

void MainWindow::CopyToClipboard(const std::string& text) {
    if (text.empty()) return;
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void MainWindow::FontCommand() {
    Settings next = engine_->settings();
    QFontDialog dialog(this);
    UseDialogFrame(&dialog);
    dialog.setWindowTitle("Tolvane Font");
    const QFont inUse = FontForPicker(next.Font);
    // The monospaced list leaves out faces that fontconfig does not mark as
    // fixed-pitch (Noto Sans Mono, often what a missing face falls back to);
    // the dialog would then start on another face and style.
    if (QFontDatabase::isFixedPitch(inUse.family())) dialog.setOptions(QFontDialog::MonospacedFonts);
    dialog.setCurrentFont(inUse);
    // The font as the dialog shows it: OK without a change keeps the record
    // as it was, even when its face is not installed here.
    const QFont untouched = dialog.currentFont();
    CenterDialog(&dialog);
    if (dialog.exec() != QDialog::Accepted) return;
    if (dialog.selectedFont() != untouched) StoreFontInRecord(dialog.selectedFont(), next.Font);
    engine_->ApplySettings(next);
    ApplyFont();
    SaveSettingsFile();
}

void MainWindow::ColorsCommand() {
    ColorsDialog dialog(engine_->settings(), this);
    CenterDialog(&dialog);
    if (dialog.exec() != QDialog::Accepted) return;
    engine_->ApplySettings(dialog.Chosen());
    lower_->Canvas()->update();
    upper_->Canvas()->update();
    SaveSettingsFile();
}

void MainWindow::HelpCommand() {
    const QFileInfo help(QString::fromStdString(options_.helpPath));
    if (help.isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(help.absoluteFilePath()))) return;
    QMessageBox::critical(QApplication::focusWidget(), kAppTitleText, "Unable to activate help");
}

}  // namespace tolvane::desktop

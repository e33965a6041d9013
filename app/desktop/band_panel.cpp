#include "app/desktop/band_panel.h"

#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "app/desktop/spectrum_widget.h"
#include "receiver/decode_mode.h"

namespace tolvane::desktop {

namespace {

// The protocol and rate of a title (" Tolvane - FLEX 6400 4 Level"), short
// enough for a part of the status line per channel: "FLEX 6400/4".
QString LockText(int modeCode) {
    if (modeCode < 0) return "not decoded";
    if (modeCode == mode_code::Idle) return "no lock";
    const std::string_view title = DecodeModeTitleText(modeCode);
    constexpr std::string_view kPrefix = " Tolvane - ";
    const std::string_view lock = title.starts_with(kPrefix) ? title.substr(kPrefix.size()) : title;
    return QString::fromLatin1(lock.data(), static_cast<qsizetype>(lock.size()))
        .replace(" 2 Level", "/2")
        .replace(" 4 Level", "/4");
}

}  // namespace

QString ChannelStatusText(const std::string& label, int modeCode, const ChannelReading& reading) {
    QString text = QString::fromStdString(label) + ": " + LockText(modeCode);
    if (!reading.decoded) return text;
    text += QString(", %1 dB").arg(reading.carrierDb, 0, 'f', 0);
    if (reading.squelchOpen) text += QString(", %1%2 kHz").arg(reading.tuningHz < 0 ? "" : "+").arg(reading.tuningHz / 1e3, 0, 'f', 1);
    return text;
}

BandPanel::BandPanel(QMainWindow& window, std::function<void(double hz)> addChannel) : window_(window) {
    dock_ = new QDockWidget("IQ Band", &window);
    dock_->setObjectName("band");
    // Hidden and shown again by the View menu only.
    dock_->setFeatures(QDockWidget::NoDockWidgetFeatures);
    spectrum_ = new SpectrumWidget(dock_);
    spectrum_->carrierClicked = std::move(addChannel);
    dock_->setWidget(spectrum_);
    window.addDockWidget(Qt::BottomDockWidgetArea, dock_);
    dock_->hide();
}

void BandPanel::ToggleSpectrum() {
    hiddenByUser_ = dock_->isVisible();
    dock_->setVisible(!hiddenByUser_);
}

void BandPanel::Refresh(const IqSource* source, const std::vector<ChannelRecord>& channels,
                        const std::function<int(std::size_t channel)>& lockOf) {
    if (source == nullptr) {
        for (QLabel* part : parts_) window_.statusBar()->removeWidget(part), delete part;
        parts_.clear();
        if (shown_ != nullptr) dock_->hide();
        shown_ = nullptr;
        return;
    }
    if (source != shown_) {
        shown_ = source;
        if (!hiddenByUser_) dock_->show();
    }
    source->Readings(readings_);
    while (parts_.size() < channels.size()) {
        parts_.push_back(new QLabel(&window_));
        parts_.back()->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        window_.statusBar()->addPermanentWidget(parts_.back());
    }
    while (parts_.size() > channels.size()) {
        window_.statusBar()->removeWidget(parts_.back());
        delete parts_.back();
        parts_.pop_back();
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        names.push_back(ChannelLabel(channels[i], i));
        const ChannelReading reading = i < readings_.size() ? readings_[i] : ChannelReading{};
        const QString text = ChannelStatusText(names.back(), lockOf(i), reading);
        if (parts_[i]->text() != text) {
            parts_[i]->setText(text);
            parts_[i]->setToolTip(text);  // whole when the part is cut short
        }
    }
    if (dock_->isVisible() && source->Spectrum(view_)) spectrum_->Show(view_, std::move(names));
}

QStringList BandPanel::StatusTexts() const {
    QStringList texts;
    for (const QLabel* part : parts_) texts << part->text();
    return texts;
}

}  // namespace tolvane::desktop

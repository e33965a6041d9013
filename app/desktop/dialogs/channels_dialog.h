// "Tolvane Channels": the pager channels decoded from an IQ band, each by a
// receiver of its own, and the band itself (sample rate, centre, the
// receiver's frequency error and gain). Frequencies are typed in Hz or
// with k or M (929.6125M).
#pragma once

#include <optional>
#include <vector>

#include "app/desktop/dialogs/dialog_parts.h"
#include "settings/channel_record.h"

class QTableWidget;

namespace tolvane::desktop {

class ChannelsDialog : public SettingsDialog {
public:
    // `newFrequencyHz`: a carrier the user picked; the frequency field
    // starts with it, ready to be added.
    ChannelsDialog(DialogHost& host, QWidget* parent = nullptr, std::optional<double> newFrequencyHz = {});

    QTableWidget* list;  // one row per channel, in the order they are decoded
    QLineEdit* frequency;
    QLineEdit* name;
    QComboBox* levels;    // 2 or 4
    QComboBox* polarity;  // Auto, Normal, Inverted
    QPushButton* add;
    QPushButton* change;  // the selected channel takes the fields
    QPushButton* remove;
    QLineEdit* sampleRate;  // empty: from the recording
    QLineEdit* centre;      // empty: from the recording
    QLineEdit* ppm;
    QLineEdit* gain;  // empty: automatic

protected:
    bool Apply(Settings& next) override;

private:
    // The channel the fields describe; nothing (a message shown) when they do not.
    std::optional<ChannelRecord> FromFields();
    void ShowList();
    void RowChosen();
    void UpdateEnabling();

    std::vector<ChannelRecord> channels_;
};

// A frequency as the fields take it back: "929.6125M", "466.025k", "500".
QString FrequencyText(double hz);

// Runs the dialog, its frequency field holding `newFrequencyHz` when given.
bool ShowChannelsDialog(QWidget* parent, DialogHost& host, std::optional<double> newFrequencyHz);

}  // namespace tolvane::desktop

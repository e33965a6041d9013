#include "app/desktop/dialogs/options_dialog.h"

#include <QCheckBox>
#include <QGridLayout>

namespace tolvane::desktop {

namespace {

struct Option {
    const char* text;
    std::int32_t Settings::*field;
    bool decoder;
};
constexpr std::array<Option, 9> kOptions = {{
    {"Confirm E&xit", &Settings::ConfirmExit, false},
    {"&Timestamp", &Settings::Timestamp, false},
    {"Show &Frame", &Settings::ShowFrame, false},
    {"Show &Numeric/Tone", &Settings::ShowNumeric, false},
    {"Show &Miscellaneous", &Settings::ShowMisc, false},
    {"Enable Filter &Beep", &Settings::FilterBeep, false},
    {"Decode POCSAG", &Settings::DecodePocsag, true},
    {"Decode FLEX/ReFLEX", &Settings::DecodeFlex, true},
    {"Decode Golay (GSC)", &Settings::DecodeGolay, true},
}};

}  // namespace

OptionsDialog::OptionsDialog(DialogHost& host, QWidget* parent) : SettingsDialog(host, parent, "Tolvane Options") {
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        boxes[i] = AddCheck(grid, static_cast<int>(i), kOptions[i].text, S().*kOptions[i].field != 0);
    }
    Finish(grid);
    boxes[0]->setFocus();
}

bool OptionsDialog::Apply(Settings& s, unsigned& changes) {
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        const std::int32_t on = boxes[i]->isChecked();
        // A decoder switched off has its running state cleared by the engine.
        if (kOptions[i].decoder && on != s.*kOptions[i].field) changes |= static_cast<unsigned>(SettingsChange::Decoders);
        s.*kOptions[i].field = on;
    }
    return true;
}

bool ShowOptionsDialog(QWidget* parent, DialogHost& host) {
    OptionsDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop

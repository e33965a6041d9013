// "Tolvane Colors": eleven buttons that each open a colour picker, a reset
// to the default colours and a live preview of sample lines. The settings
// change only on OK.
#pragma once

#include <QDialog>
#include <array>

#include "settings/settings.h"

namespace tolvane::desktop {

class ColorsDialog : public QDialog {
public:
    ColorsDialog(const Settings& settings, QWidget* parent);

    const std::array<std::uint32_t, kColorCount>& WorkColors() const { return work_; }
    void SetWorkColor(ColorClass colorClass, std::uint32_t color);
    // The Default Colors button after its question was answered with OK.
    void ResetToDefaults();
    QWidget* Preview() const { return preview_; }

    // The settings as OK leaves them: the working colours in place (Misc,
    // which has no button, as it was).
    Settings Chosen() const;

private:
    void PickColor(ColorClass colorClass, const QString& title);

    const Settings& settings_;
    std::array<std::uint32_t, kColorCount> work_;
    QWidget* preview_ = nullptr;
};

// Fills the sixteen custom colours of the colour picker with white, as the
// main window does when it is created.
void ResetCustomColors();

}  // namespace tolvane::desktop

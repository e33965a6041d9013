// The outside-world parts the desktop program does with Qt: sounds through
// Qt Multimedia and the pane font and colours in Qt's terms.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <memory>

#include "world/outside_world.h"
#include "settings/settings.h"

class QSoundEffect;

namespace tolvane::desktop {

// Plays WAV files without waiting, one at a time: a new sound stops the one
// still playing. The beep is the desktop's own.
class QtSoundPlayer : public SoundPlayer {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    bool PlayFile(const std::string& path) override;
    void Beep() override;

private:
    std::unique_ptr<QSoundEffect> effect_;
};

// Stored colours are red + 256 * green + 65536 * blue.
inline QColor ToQColor(std::uint32_t stored) {
    return QColor(static_cast<int>(stored & 0xFFu), static_cast<int>((stored >> 8) & 0xFFu),
                  static_cast<int>((stored >> 16) & 0xFFu));
}
inline std::uint32_t FromQColor(const QColor& color) {
    return MakeColor(static_cast<std::uint32_t>(color.red()), static_cast<std::uint32_t>(color.green()),
                     static_cast<std::uint32_t>(color.blue()));
}

// The pane font from the stored record: a negative height is the character
// height in pixels, a positive one the cell height.
QFont FontFromRecord(const FontRecord& record);
// The font the record gives on this system, as the font picker names it:
// the installed face and style (so that the picker preselects them) and
// the pixel height.
QFont FontForPicker(const FontRecord& record);
// Writes what the font picker chose back into the record (face, height,
// weight, italic); the other fields keep their values.
void StoreFontInRecord(const QFont& font, FontRecord& record);

// CharWidth and LineHeight of a font: average character width, and height
// plus leading.
struct FontCells {
    int charWidth = 7;
    int lineHeight = 14;
    int ascent = 11;
};
FontCells MeasureFont(const QFont& font);

}  // namespace tolvane::desktop

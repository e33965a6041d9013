#include "app/desktop/qt_world.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QSoundEffect>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace tolvane::desktop {

QtSoundPlayer::QtSoundPlayer() = default;
QtSoundPlayer::~QtSoundPlayer() = default;

bool QtSoundPlayer::PlayFile(const std::string& path) {
    const QFileInfo file(QString::fromStdString(path));
    if (!file.isFile() || !file.isReadable()) return false;
    // Made on first use: a program that never plays a file never opens the
    // audio system.
    if (!effect_) effect_ = std::make_unique<QSoundEffect>();
    effect_->stop();
    effect_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    effect_->play();
    return effect_->status() != QSoundEffect::Error;
}

void QtSoundPlayer::Beep() { QApplication::beep(); }

QFont FontFromRecord(const FontRecord& record) {
    QFont font(QString::fromStdString(record.FaceName));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    const int height = record.Height == 0 ? 11 : std::abs(record.Height);
    font.setPixelSize(std::clamp(height, 4, 200));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(record.Weight == 0 ? 400 : record.Weight, 100, 900)));
    font.setItalic(record.Italic != 0);
    return font;
}

QFont FontForPicker(const FontRecord& record) {
    const QFontInfo used(FontFromRecord(record));
    QFont font(used.family());
    font.setStyleName(used.styleName());
    font.setPixelSize(used.pixelSize());
    return font;
}

void StoreFontInRecord(const QFont& font, FontRecord& record) {
    const QFontInfo chosen(font);
    record.FaceName = chosen.family().toStdString().substr(0, 31);
    record.Height = -std::max(chosen.pixelSize(), 1);
    record.Weight = static_cast<std::int32_t>(chosen.weight());
    record.Italic = chosen.italic() ? 1 : 0;
}

FontCells MeasureFont(const QFont& font) {
    const QFontMetrics metrics(font);
    FontCells cells;
    // A fixed-pitch font's advance is its average width. Cells are whole
    // pixels, at least as wide as a glyph, and the panes place each glyph
    // on its cell.
    const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    cells.charWidth = std::max(1, static_cast<int>(std::ceil(advance - 1e-3)));
    cells.lineHeight = std::max(1, metrics.height() + std::max(0, metrics.leading()));
    cells.ascent = metrics.ascent();
    return cells;
}

}  // namespace tolvane::desktop

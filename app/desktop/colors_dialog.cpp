#include "app/desktop/colors_dialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/desktop/dialogs/message_box.h"
#include "app/desktop/qt_world.h"

namespace tolvane::desktop {

namespace {

struct Run {
    ColorClass colorClass;
    const char* text;
};

// The sample lines of the preview: page headers of both kinds with bit
// errors, filter labels and matches in their own colours.
const std::vector<std::vector<Run>>& SampleLines() {
    using C = ColorClass;
    static const std::vector<std::vector<Run>> lines = {
        {{C::Capcode, "{1809544} 1 1200 "}, {C::Numeric, "(555) 123-4567"}},
        {{C::Capcode, "{0403247} 3 2400 "}, {C::FilterMatch, "TEST"}, {C::Alphanumeric, "ING..."}},
        {{C::Capcode, "[001234567] "}, {C::FLEXPhase, "A "}, {C::FLEXFormat, "SH/TONE "}, {C::Numeric, "555-"},
         {C::BitErrors, "12"}, {C::Numeric, "34"}},
        {{C::Capcode, "[004597213] "}, {C::FilterLabel, "XYZ "}, {C::FLEXPhase, "C "}, {C::FLEXFormat, " ALPHA  "},
         {C::FilterMatch, "test"}, {C::Alphanumeric, " msg"}},
        {{C::Capcode, "[002874934] "}, {C::FLEXPhase, "C "}, {C::FLEXFormat, "ST NUM  "}, {C::Numeric, "555-867-5309"}},
        {{C::Timestamp, "------- 1/17/99 8:45:00 AM -------"}},
        {{C::Capcode, "[001860257] "}, {C::FLEXPhase, "A "}, {C::FLEXFormat, "BINARY  "}, {C::FLEXBinary, "6E424F2037C4"}},
        {{C::Capcode, "[003858206] "}, {C::FLEXPhase, "C "}, {C::FLEXFormat, " ALPHA  "}, {C::Alphanumeric, "Emer"},
         {C::BitErrors, "gency!"}},
        {{C::Capcode, "[004387003] "}, {C::FLEXPhase, "A "}, {C::FLEXFormat, "SH/TONE "}, {C::Numeric, "777 *"}},
        {{C::Capcode, "{0317438} 3 1200 "}, {C::Alphanumeric, "Call the office today"}},
        {{C::Capcode, "{0342785} 1 1200 "}, {C::FilterLabel, "Night shift "}, {C::Numeric, "555-0199"}},
        {{C::Capcode, "{1045654} 2 1200 "}, {C::Numeric, "4471 -(23)- 880"}},
        {{C::Capcode, "{0582694} 2 512 "}, {C::Numeric, "0123 456 789 U"}},
    };
    return lines;
}

// The preview paints with its own font (the default pane font), whatever
// font the panes use.
class PreviewWindow : public QWidget {
public:
    PreviewWindow(const std::array<std::uint32_t, kColorCount>& colors, QWidget* parent)
        : QWidget(parent), colors_(colors), font_(FontFromRecord(FontRecord{})) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        const FontCells cells = MeasureFont(font_);
        setMinimumSize(cells.charWidth * 46, cells.lineHeight * static_cast<int>(SampleLines().size()) + 4);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const FontCells cells = MeasureFont(font_);
        painter.fillRect(rect(), ToQColor(colors_[0]));
        painter.setFont(font_);
        int y = cells.ascent;
        for (const auto& line : SampleLines()) {
            int x = 0;
            for (const Run& run : line) {
                painter.setPen(ToQColor(colors_[static_cast<std::size_t>(run.colorClass) - 1]));
                const QString text = QString::fromLatin1(run.text);
                painter.drawText(QPoint(x, y), text);
                x += cells.charWidth * static_cast<int>(text.size());
            }
            y += cells.lineHeight;
        }
    }

private:
    const std::array<std::uint32_t, kColorCount>& colors_;
    QFont font_;
};

struct ColorButton {
    ColorClass colorClass;
    const char* label;
    const char* title;
};

constexpr ColorButton kButtons[] = {
    {ColorClass::Background, "&Background", "Tolvane Background"},
    {ColorClass::Capcode, "&Capcode", "Tolvane Capcode"},
    {ColorClass::FLEXPhase, "FLEX &Phase", "Tolvane FLEX Phase"},
    {ColorClass::FLEXFormat, "FLEX &Format", "Tolvane FLEX Format"},
    {ColorClass::Timestamp, "&Timestamp", "Tolvane Timestamp"},
    {ColorClass::BitErrors, "Bit &Errors", "Tolvane Bit Errors"},
    {ColorClass::Numeric, "&Numeric", "Tolvane Numeric"},
    {ColorClass::Alphanumeric, "&Alphanumeric", "Tolvane Alphanumeric"},
    {ColorClass::FLEXBinary, "FLEX B&inary", "Tolvane FLEX Binary"},
    {ColorClass::FilterMatch, "Filter &Match", "Tolvane Filter Match"},
    {ColorClass::FilterLabel, "Filter &Label", "Tolvane Filter Label"},
};

}  // namespace

void ResetCustomColors() {
    for (int i = 0; i < QColorDialog::customCount(); ++i) QColorDialog::setCustomColor(i, QColor(255, 255, 255));
}

ColorsDialog::ColorsDialog(const Settings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), work_(settings.Color) {
    UseDialogFrame(this);
    setWindowTitle("Tolvane Colors");
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    int index = 0;
    for (const ColorButton& button : kButtons) {
        auto* push = new QPushButton(QString::fromLatin1(button.label), this);
        push->setAutoDefault(false);
        connect(push, &QPushButton::clicked, this,
                [this, button] { PickColor(button.colorClass, QString::fromLatin1(button.title)); });
        grid->addWidget(push, index / 4, index % 4);
        ++index;
    }
    auto* defaults = new QPushButton("&Default Colors", this);
    defaults->setAutoDefault(false);
    connect(defaults, &QPushButton::clicked, this, [this] {
        if (QuestionDialog(this, "Reset ALL Colors to Default?")) ResetToDefaults();
    });
    grid->addWidget(defaults, index / 4, index % 4);
    layout->addLayout(grid);
    preview_ = new PreviewWindow(work_, this);
    layout->addWidget(preview_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void ColorsDialog::SetWorkColor(ColorClass colorClass, std::uint32_t color) {
    if (colorClass == ColorClass::RowEnd || colorClass == ColorClass::Misc) return;
    work_[static_cast<std::size_t>(colorClass) - 1] = color;
    preview_->update();
}

void ColorsDialog::ResetToDefaults() {
    const auto defaults = Settings::DefaultColors();
    for (int k = 1; k <= kColorCount; ++k) {
        if (k != static_cast<int>(ColorClass::Misc)) work_[static_cast<std::size_t>(k) - 1] = defaults[static_cast<std::size_t>(k) - 1];
    }
    preview_->update();
}

void ColorsDialog::PickColor(ColorClass colorClass, const QString& title) {
    const QColor start = ToQColor(work_[static_cast<std::size_t>(colorClass) - 1]);
    const QColor chosen = QColorDialog::getColor(start, this, title);
    if (chosen.isValid()) SetWorkColor(colorClass, FromQColor(chosen));
}

Settings ColorsDialog::Chosen() const {
    Settings chosen = settings_;
    chosen.Color = work_;
    chosen.ColorOf(ColorClass::Misc) = settings_.ColorOf(ColorClass::Misc);
    return chosen;
}

}  // namespace tolvane::desktop

#include "app/desktop/dialogs/scrollback_dialog.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "app/desktop/dialogs/message_box.h"

namespace tolvane::desktop {

namespace {

constexpr std::uint32_t kMessageMinimum = 1000;
constexpr std::uint32_t kFilterMinimum = 200;

// Leading digits; anything else reads as 0.
std::uint32_t ReadRows(const QLineEdit* field) {
    std::uint32_t rows = 0;
    for (const QChar c : field->text()) {
        if (!c.isDigit()) break;
        rows = rows * 10 + static_cast<std::uint32_t>(c.digitValue());
    }
    return rows;
}

QLineEdit* RowsField(QGridLayout* grid, int row, const char* label, std::uint32_t rows) {
    QLineEdit* field = AddField(grid, row, label, std::to_string(rows), 4);  // at most 9999 rows
    field->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), field));
    return field;
}

}  // namespace

ScrollbackDialog::ScrollbackDialog(DialogHost& host, QWidget* parent)
    : SettingsDialog(host, parent, "Tolvane Scrollback") {
    auto* grid = new QGridLayout;
    filterRows = RowsField(grid, 0, "Number of scrollback lines in filter pane (min 200):", S().Pane2Size);
    messageRows = RowsField(grid, 1, "Number of scrollback lines in message pane (min 1000):", S().Pane1Size);
    Finish(grid);
    messageRows->setFocus();
}

bool ScrollbackDialog::Apply(Settings& s) {
    const std::uint32_t messages = ReadRows(messageRows);
    if (messages < kMessageMinimum) return Refuse(QString::asprintf("Message scrollback minimum is %u!", kMessageMinimum));
    const std::uint32_t filters = ReadRows(filterRows);
    // A pane made again starts empty: asked once, before either changes.
    const bool clears = messages != s.Pane1Size || (filters >= kFilterMinimum && filters != s.Pane2Size);
    if (clears && !QuestionDialog(this, "Changing the scrollback size clears the pane. Go on?")) return false;
    // A new message-pane size takes effect now, even if the filter pane's is refused next.
    if (messages != s.Pane1Size) {
        s.Pane1Size = messages;
        host_.ApplySettings(s);
        s.Pane1Size = S().Pane1Size;  // the host may have had to take fewer rows
    }
    if (filters < kFilterMinimum) return Refuse(QString::asprintf("Filter scrollback minimum is %u!", kFilterMinimum));
    s.Pane2Size = filters;
    return true;
}

bool ShowScrollbackDialog(QWidget* parent, DialogHost& host) {
    ScrollbackDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop

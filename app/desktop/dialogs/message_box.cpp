#include "app/desktop/dialogs/message_box.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "settings/settings_file.h"

namespace tolvane::desktop {

namespace {

// The text centred, with an icon and OK, or with OK and Cancel.
bool RunOneLine(QWidget* parent, const QString& text, bool question, MessageIcon icon = MessageIcon::Error) {
    QDialog dialog(parent);
    UseDialogFrame(&dialog);
    dialog.setObjectName(question ? "QuestionDialog" : "MessageDialog");
    dialog.setWindowTitle(kAppName);
    auto* row = new QHBoxLayout;
    if (!question) {
        auto* picture = new QLabel;
        const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
        const auto standard = icon == MessageIcon::Error ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxInformation;
        picture->setPixmap(dialog.style()->standardIcon(standard, nullptr, &dialog).pixmap(size));
        row->addWidget(picture);
    }
    // The whole text: a path and the system's reason must both be seen.
    auto* line = new QLabel(text);
    line->setObjectName("text");
    line->setAlignment(Qt::AlignCenter);
    line->setWordWrap(true);
    line->setTextFormat(Qt::PlainText);  // decoded text may reach a message; never rich text
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(line, 1);
    auto* buttons = new QDialogButtonBox(question ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel : QDialogButtonBox::Ok);
    buttons->setCenterButtons(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(row);
    layout->addWidget(buttons);
    CenterDialog(&dialog);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace

void MessageDialog(QWidget* parent, const QString& text, MessageIcon icon) { RunOneLine(parent, text, false, icon); }

bool QuestionDialog(QWidget* parent, const QString& text) { return RunOneLine(parent, text, true); }

void UseDialogFrame(QWidget* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

void CenterDialog(QWidget* dialog) {
    QWidget* parent = dialog->parentWidget();
    if (parent == nullptr) return;
    // The size the dialog will be shown with; taking it now is no resize.
    if (!dialog->testAttribute(Qt::WA_Resized)) dialog->adjustSize();
    const QRect owner = parent->window()->frameGeometry();
    const QSize own = dialog->frameGeometry().size();
    int left = std::max(0, owner.left() + owner.width() / 2 - own.width() / 2);
    int top = std::max(0, owner.top() + owner.height() / 2 - own.height() / 2);
    const QScreen* screen = parent->window()->screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect work = screen->availableGeometry();
        left = std::min(left, work.x() + work.width() - own.width());
        top = std::min(top, work.y() + work.height() - own.height());
    }
    dialog->move(left, top);
}

}  // namespace tolvane::desktop

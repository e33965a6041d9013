// The shared one-line dialogs every other dialog reports through.
#pragma once

#include <QString>

class QWidget;

namespace tolvane::desktop {

enum class MessageIcon { Error, Information };

// The shared one-line dialogs: the whole text, modal, owned by parent, centred with CenterDialog.
void MessageDialog(QWidget* parent, const QString& text, MessageIcon icon = MessageIcon::Error);  // icon, the text, OK
bool QuestionDialog(QWidget* parent, const QString& text);  // the text, OK (true) / Cancel (false)
void CenterDialog(QWidget* dialog);  // over its parent, kept inside the screen's available geometry; no parent: not moved
// A dialog's frame: a title and a close button, without minimise and
// maximise, which mean nothing for a modal dialog.
void UseDialogFrame(QWidget* dialog);

}  // namespace tolvane::desktop

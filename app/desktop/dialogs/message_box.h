// The shared one-line dialogs every other dialog reports through.
#pragma once

#include <QString>

class QWidget;

namespace tolvane::desktop {

// At most this many characters of a message are shown (the rest is cut).
inline constexpr int kMessageTextMax = 79;

// The shared one-line dialogs: at most 79 characters of text, modal, owned by parent, centred with CenterDialog.
void MessageDialog(QWidget* parent, const QString& text);   // icon, one centred line, OK
bool QuestionDialog(QWidget* parent, const QString& text);  // one line, OK (true) / Cancel (false)
void CenterDialog(QWidget* dialog);  // over its parent, kept inside the screen's available geometry; no parent: not moved

}  // namespace tolvane::desktop

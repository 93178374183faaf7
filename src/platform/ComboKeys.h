#pragma once

class QWidget;

namespace combokeys {

// Keeps key combinations with Ctrl, Alt or Meta from typing into `field`: the
// field still gets the key (so its own shortcuts, copy and paste among them,
// keep working) but without the text that it would otherwise insert, as the
// text widgets do for combinations they have no command for (Alt+S typed "s").
void keepFromTyping(QWidget *field);

} // namespace combokeys

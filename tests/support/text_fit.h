// Whether the texts of a window fit their controls: each button's, check
// box's, label's and group box's text must lie inside the part of its
// control that the style gives to text, and must not run into a visible
// neighbour. Measured in the widget's own font, as the style draws it.
#pragma once

#include <QStringList>

class QWidget;

// One line for every text of `window` (the window included, its hidden
// controls left out) that is cut or touches a neighbour, naming the control,
// its text and the room it had; empty when every text fits.
QStringList TextsThatDoNotFit(QWidget* window);

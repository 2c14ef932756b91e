// Centring a window over the main window, with exact halves going to the
// even neighbour so that the position never drifts by a pixel between runs.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QWidget;

namespace desktop {

// Rounds numerator / 2 to the nearest integer, a half to the even one.
int HalveRoundingToEven(int numerator);

// Top-left corner that centres a window of `size` over `outer`:
// outer.top + outer.height / 2 - size.height / 2, likewise for left.
QPoint CentredTopLeft(const QRect& outer, const QSize& size);

// A shown window's frame as the window system has it now; QWidget's own
// copy of the frame's edges may still be the unframed one for a while after
// the window manager has framed the window.
QRect FrameGeometry(const QWidget* window);

// Moves `window` so that its frame's top-left corner is at `topLeft`.
void MoveFrameTo(QWidget* window, QPoint topLeft);

// Moves `window` so that it is centred over `over`'s frame.
void CentreOn(QWidget* window, const QWidget* over);

// Moves `window` so that it is centred on the free area of its screen.
void CentreOnScreen(QWidget* window);

// Calls `then` once the window manager has put its frame around the shown
// `window` (the frame's edges known), at once where no frame comes (no
// display), and after a second at the latest, then again if the frame comes
// later. Positions of a window's frame can only be kept once that frame is
// there.
void WhenFramed(QWidget* window, std::function<void()> then);

// Labels size themselves to their text: one whose text needs more room than
// its designed width is widened (never narrowed), keeping its position.
void WidenToFit(QWidget* label);

}  // namespace desktop

// A window without title-bar buttons: the frame keeps its title and border,
// and the window's hints ask the window manager for no close, minimise or
// maximise button, so none is offered that would do nothing.
#pragma once

class QWidget;

namespace desktop {

// Call from the window's showEvent: the native window exists by then and is
// not yet mapped, so the window manager reads the hints as it frames it.
void AskForNoTitleButtons(QWidget* window);

}  // namespace desktop

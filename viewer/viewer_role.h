#pragma once

#include <cstdint>
#include <span>

#include "devlink/link_messages.h"

class QWidget;

namespace rd420::viewer {

class MainWindow;
class ControlPanel;
class OptionDialog;

// The texts that differ between the viewer program's window and a host's.
struct RoleTexts {
  const char* title;
  const char* settingsKey;
  const char* formatChanged;    // "Error (AWN00008)"
  const char* oneToOneRefused;  // "ERROR (AWN00007)"
  const char* bitmapHandle;     // "Error (AIG00002)"
  const char* aboutProduct;     // the about box's two lines
  const char* aboutDetail;
};

// What the viewer's windows are for: the viewer program's own, or a window
// an application hosts (the data source's, in twain/). Passed to the Viewer
// at construction. GUI thread unless a member says otherwise.
class ViewerRole {
 public:
  virtual ~ViewerRole() = default;
  virtual const RoleTexts& Texts() const = 0;
  // The device link's failure messages. Any thread.
  virtual const LinkMessages& Messages() const = 0;
  // Gives the built windows their faces; the program keeps the skin's.
  virtual void Dress(MainWindow&, ControlPanel&, OptionDialog&) const {}
  // Where an ended viewer leaves its windows: the program hides them; a
  // window an application hosts stays, disabled, until the application
  // closes it (AskClose asks).
  virtual void PutAway(std::span<QWidget* const> windows) const;
  // Whether a camera that cannot be used is reported over the window, shown
  // disabled, rather than over none.
  virtual bool ShowsFailedStart() const { return false; }
  // Whether a stream the camera cannot open ends the viewer, as every other
  // loss of the camera does; the program's window waits without a picture.
  virtual bool EndsWhenStreamFails() const { return false; }
  // Whether a format change ends the viewer as its Exit button does (the
  // camera told to shut down), the capture buttons off under the message.
  virtual bool ExitsOnFormatChange() const { return false; }
  // Whether the held still goes to the application, taken by "Scan
  // Capturing Image", instead of being saved, printed or quick-saved.
  virtual bool HandsStillOver() const { return false; }
  // Asks the application to close the window. Any thread.
  virtual void AskClose() {}
  // The still thread: hands the held still's rows (bottom-up BGR, 3 bytes
  // a pixel) to the application.
  virtual void HandOverStill(std::span<const uint8_t>, int, int) {}
  // Any thread: false while a handed-over still waits for the application.
  virtual bool StillTaken() const { return true; }
};

// The viewer program's role: its Korean texts and its own settings key.
ViewerRole& ProgramRole();

// A button as a host shows it: its id there and its tooltip. A viewer
// button with no face has no place in that window.
struct ButtonFace {
  int viewerId;
  int id;
  const char* tooltip;
};
// Gives the skin buttons of `window` their faces and removes the rest.
void DressButtons(QWidget& window, std::span<const ButtonFace> faces);

}  // namespace rd420::viewer

#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "devlink/link_messages.h"

namespace rd420::viewer {

// Which deliverable the viewer window code is built into: the viewer
// program, or the TWAIN data source's view window with its English texts,
// its own settings key and control ids, and no save, print or relay.
enum class Flavour { kViewer, kDataSource };

// What the data source's view window asks of the data source. Each may be
// called on any of the window's threads.
struct DataSourcePort {
  // "Scan Capturing Image": the still's rows, bottom-up BGR, 3 bytes a pixel.
  std::function<void(std::span<const uint8_t> pixels, int width, int height)> handOverStill;
  // False while a handed-over still waits for the application.
  std::function<bool()> resumeFlag;
  // Asks the application to close the source (MSG_CLOSEDSREQ).
  std::function<void()> requestClose;
};

// The texts that differ between the two builds.
struct FlavourTexts {
  const char* title;
  const char* settingsKey;
  const char* formatChanged;    // "Error (AWN00008)"
  const char* oneToOneRefused;  // "ERROR (AWN00007)"
  const char* bitmapHandle;     // "Error (AIG00002)"
  const char* aboutProduct;     // the about box's two lines
  const char* aboutDetail;
};
const FlavourTexts& TextsFor(Flavour flavour);
const LinkMessages& LinkMessagesFor(Flavour flavour);

// A button of the viewer as the data source shows it: its id there and its
// English tooltip. A viewer button with no face has no place in the source.
struct ButtonFace {
  int viewerId;
  int id;
  const char* tooltip;
};
std::span<const ButtonFace> DataSourceMainFaces();
std::span<const ButtonFace> DataSourcePanelFaces();

}  // namespace rd420::viewer

#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "stills/print_geometry.h"

class QFileDialog;
class QPrinter;
class QWidget;

namespace rd420::stills {

// What the page-setup dialog hands to the printing: the settings and the
// printed size of its last preview drawing.
struct PageSetup {
  PrintSettings settings;
  int printedWidthMm = 0;
  int printedHeightMm = 0;
};

// The dialogs of save and print, one seam so tests can answer them without
// modal loops. GUI thread only.
class StillDialogs {
 public:
  virtual ~StillDialogs() = default;
  // The save-as dialog; the chosen path, or empty when cancelled.
  virtual QString AskSavePath(QWidget* owner) = 0;
  // The page-setup dialog for `picture` (the held still, upright); sets
  // paper, orientation and source on `printer`. nullopt when cancelled.
  virtual std::optional<PageSetup> AskPageSetup(QWidget* owner, QPrinter& printer,
                                                const QImage& picture) = 0;
  // The print dialog: printer and copies. False when cancelled.
  virtual bool AskPrinter(QWidget* owner, QPrinter& printer) = 0;
};

// The program's dialogs: Qt's file dialog with the two filters, our page
// setup, and Qt's print dialog.
class QtStillDialogs : public StillDialogs {
 public:
  QString AskSavePath(QWidget* owner) override;
  std::optional<PageSetup> AskPageSetup(QWidget* owner, QPrinter& printer,
                                        const QImage& picture) override;
  bool AskPrinter(QWidget* owner, QPrinter& printer) override;
};

// The save-as dialog's filters, default extension "bmp" and overwrite
// prompt, set on `dialog`.
void ConfigureSaveDialog(QFileDialog& dialog);

}  // namespace rd420::stills

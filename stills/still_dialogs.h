#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "stills/print_geometry.h"

class QCheckBox;
class QFileDialog;
class QPrinter;
class QWidget;

namespace rd420::stills {

// The check box of the save and page-setup dialogs that burns the
// presenter's drawing into the still, offered only when there is one.
inline constexpr int kIdWithDrawing = 2102;
inline constexpr char kWithDrawingLabel[] = "그림 포함";

// What the page-setup dialog hands to the printing: the settings and the
// printed size of its last preview drawing.
struct PageSetup {
  PrintSettings settings;
  int printedWidthMm = 0;
  int printedHeightMm = 0;
  bool withDrawing = false;  // the check box, when it was offered
};

// What the save-as dialog was answered.
struct SaveChoice {
  QString path;              // empty: cancelled
  bool withDrawing = false;  // the check box, when it was offered
};

// The dialogs of save and print, one seam so tests can answer them without
// modal loops. GUI thread only.
class StillDialogs {
 public:
  virtual ~StillDialogs() = default;
  // The save-as dialog, with the check box "그림 포함" (checked) when
  // `offerDrawing`.
  virtual SaveChoice AskSavePath(QWidget* owner, bool offerDrawing) = 0;
  // The page-setup dialog for `picture` (the held still as shown); sets
  // paper, orientation and source on `printer`. With `drawn` (the same
  // with the drawing burnt in; null: there is none) it offers "그림 포함",
  // checked, and its sample page shows the choice. nullopt when cancelled.
  virtual std::optional<PageSetup> AskPageSetup(QWidget* owner, QPrinter& printer,
                                                const QImage& picture, const QImage& drawn) = 0;
  // The print dialog: printer and copies. False when cancelled.
  virtual bool AskPrinter(QWidget* owner, QPrinter& printer) = 0;
};

// The program's dialogs: Qt's file dialog with the two filters, our page
// setup, and Qt's print dialog.
class QtStillDialogs : public StillDialogs {
 public:
  SaveChoice AskSavePath(QWidget* owner, bool offerDrawing) override;
  std::optional<PageSetup> AskPageSetup(QWidget* owner, QPrinter& printer, const QImage& picture,
                                        const QImage& drawn) override;
  bool AskPrinter(QWidget* owner, QPrinter& printer) override;
};

// The save-as dialog's filters, default extension "bmp" and overwrite
// prompt, set on `dialog`.
void ConfigureSaveDialog(QFileDialog& dialog);
// Adds the check box "그림 포함", checked, below the dialog's own controls:
// Qt's dialog then, as the system's cannot take one.
QCheckBox* AddDrawingCheckBox(QFileDialog& dialog);

}  // namespace rd420::stills

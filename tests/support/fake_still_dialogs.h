#pragma once

#include <QPrinter>
#include <QString>

#include "stills/still_dialogs.h"

namespace rd420::test {

// Answers the save and print dialogs as a test says, without modal loops:
// the print dialog's printer becomes a PDF file. GUI thread only, like the
// dialogs.
class FakeStillDialogs : public stills::StillDialogs {
 public:
  QString savePath;  // empty: the save dialog is cancelled
  bool acceptPageSetup = true;
  bool acceptPrinter = true;
  stills::PrintSettings settings;
  QSize previewArea{212, 300};
  QString pdfPath;
  int copies = 1;
  int pageSetups = 0;
  int printerDialogs = 0;
  QImage picture;  // what the page setup's sample showed
  // The answer to the check box "그림 포함" of either dialog, and whether
  // the last dialog offered it.
  bool withDrawing = true;
  bool drawingOffered = false;

  stills::SaveChoice AskSavePath(QWidget*, bool offerDrawing) override {
    drawingOffered = offerDrawing;
    return {savePath, withDrawing};
  }
  std::optional<stills::PageSetup> AskPageSetup(QWidget*, QPrinter& printer, const QImage& shown,
                                                const QImage& drawn) override {
    ++pageSetups;
    drawingOffered = !drawn.isNull();
    picture = drawingOffered && withDrawing ? drawn : shown;
    if (!acceptPageSetup) {
      return std::nullopt;
    }
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(settings.Landscape() ? QPageLayout::Landscape
                                                    : QPageLayout::Portrait);
    const stills::PreviewLayout layout = stills::LayOutPreview(settings, previewArea);
    return stills::PageSetup{settings, layout.printedWidthMm, layout.printedHeightMm, withDrawing};
  }
  bool AskPrinter(QWidget*, QPrinter& printer) override {
    ++printerDialogs;
    if (!acceptPrinter) {
      return false;
    }
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    printer.setCopyCount(copies);
    return true;
  }
};

}  // namespace rd420::test

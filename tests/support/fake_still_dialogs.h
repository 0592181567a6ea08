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
  QImage picture;  // what the page setup was shown

  QString AskSavePath(QWidget*) override { return savePath; }
  std::optional<stills::PageSetup> AskPageSetup(QWidget*, QPrinter& printer,
                                                const QImage& shown) override {
    ++pageSetups;
    picture = shown;
    if (!acceptPageSetup) {
      return std::nullopt;
    }
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(settings.Landscape() ? QPageLayout::Landscape
                                                    : QPageLayout::Portrait);
    const stills::PreviewLayout layout = stills::LayOutPreview(settings, previewArea);
    return stills::PageSetup{settings, layout.printedWidthMm, layout.printedHeightMm};
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

#include "stills/print_still.h"

#include <QPainter>
#include <QPrinter>
#include <cmath>

#include "platform/imaging.h"
#include "platform/message.h"

namespace rd420::stills {
namespace {

void ShowPrintFailure(const char* text, const char* caption) {
  ShowMessage(nullptr, text, caption, MessageIcon::kError);
}

}  // namespace

bool PrintStillPages(QPrinter& printer, const PageSetup& setup, const FrameBitmap& still) {
  const int copies = std::max(1, printer.copyCount());
  // Each copy is a page of its own, so the printer must not copy again.
  printer.setCopyCount(1);
  printer.setDocName(QStringLiteral("RD-420 Printing Images"));
  // The whole sheet is the page: the margins are the user's, measured from
  // the paper's edge, on a printer and in a PDF alike.
  printer.setFullPage(true);

  QPainter painter;
  if (!painter.begin(&printer)) {
    ShowPrintFailure("출력을 진행할 수 없습니다. ", "Error (APT00001)");
    return false;
  }
  const FrameGeometry geometry = still.Geometry();
  ImagingBitmap bitmap;
  if (!bitmap.Create(geometry.width, geometry.height, 24)) {
    ShowPrintFailure("비트맵 핸들 생성 실패 ", "Error (APT00002)");
    printer.abort();
    return false;
  }
  if (!bitmap.ConvertFromDib(still.Block().first(FrameBitmap::kHeaderBytes), still.Pixels())) {
    ShowPrintFailure("비트맵 변환 실패 ", "Error (APT00003)");
    printer.abort();
    return false;
  }
  const QImage picture = BorrowedPicture(bitmap);
  // The paper the printer has, should the print dialog have changed it.
  PrintSettings settings = setup.settings;
  const QRectF paper = printer.pageLayout().fullRect(QPageLayout::Millimeter);
  settings.paperWidth = static_cast<int>(paper.width() * 100 + 0.5);
  settings.paperHeight = static_cast<int>(paper.height() * 100 + 0.5);
  const QRect sheet = printer.pageLayout().fullRectPixels(printer.resolution());
  const QRect place =
      PlaceOnPage(settings, setup.printedWidthMm, setup.printedHeightMm, sheet.size());
  for (int copy = 0; copy < copies; ++copy) {
    if (copy > 0 && !printer.newPage()) {
      ShowPrintFailure("출력을 시작할 수 없습니다. ", "Error (APT00004)");
      printer.abort();
      return false;
    }
    if (place.isEmpty() || !painter.isActive()) {
      ShowPrintFailure("이미지 출력에 실패하였습니다. ", "Error (APT00005)");
      printer.abort();
      return false;
    }
    painter.drawImage(place, picture);
  }
  if (!painter.end()) {
    ShowPrintFailure("출력을 종료할 수 없습니다. ", "Error (APT00006)");
    return false;
  }
  return true;
}

}  // namespace rd420::stills

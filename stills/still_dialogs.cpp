#include "stills/still_dialogs.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "stills/page_setup_dialog.h"

namespace rd420::stills {

QString QtStillDialogs::AskSavePath(QWidget* owner) {
  QFileDialog dialog(owner);
  ConfigureSaveDialog(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return dialog.selectedFiles().first();
}

std::optional<PageSetup> QtStillDialogs::AskPageSetup(QWidget* owner, QPrinter& printer,
                                                      const QImage& picture) {
  PageSetupDialog dialog(picture, printer.pageLayout().pageSize().id(), owner);
  if (dialog.exec() != QDialog::Accepted) {
    return std::nullopt;
  }
  dialog.ApplyTo(printer);
  return dialog.Result();
}

bool QtStillDialogs::AskPrinter(QWidget* owner, QPrinter& printer) {
  QPrintDialog dialog(&printer, owner);
  return dialog.exec() == QDialog::Accepted;
}

void ConfigureSaveDialog(QFileDialog& dialog) {
  dialog.setAcceptMode(QFileDialog::AcceptSave);  // asks before overwriting
  dialog.setNameFilters({QStringLiteral("JPEG File(*.jpg)"), QStringLiteral("BITMAP File(*.bmp)")});
  dialog.setDefaultSuffix(QStringLiteral("bmp"));
}

}  // namespace rd420::stills

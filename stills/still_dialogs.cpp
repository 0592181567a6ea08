#include "stills/still_dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QPrintDialog>
#include <QPrinter>

#include "stills/page_setup_dialog.h"

namespace rd420::stills {

SaveChoice QtStillDialogs::AskSavePath(QWidget* owner, bool offerDrawing) {
  QFileDialog dialog(owner);
  ConfigureSaveDialog(dialog);
  QCheckBox* withDrawing = offerDrawing ? AddDrawingCheckBox(dialog) : nullptr;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return {dialog.selectedFiles().first(), withDrawing != nullptr && withDrawing->isChecked()};
}

std::optional<PageSetup> QtStillDialogs::AskPageSetup(QWidget* owner, QPrinter& printer,
                                                      const QImage& picture, const QImage& drawn) {
  PageSetupDialog dialog(picture, printer.pageLayout().pageSize().id(), owner, drawn);
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

QCheckBox* AddDrawingCheckBox(QFileDialog& dialog) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  auto* box = new QCheckBox(QString::fromUtf8(kWithDrawingLabel), &dialog);
  box->setObjectName(QStringLiteral("ctrl%1").arg(kIdWithDrawing));
  box->setToolTip(QStringLiteral("Save the still with the drawing burnt in"));
  box->setChecked(true);
  // Qt's dialog lays its controls out on a grid: a row of its own below.
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
  } else if (dialog.layout() != nullptr) {
    dialog.layout()->addWidget(box);
  }
  return box;
}

}  // namespace rd420::stills

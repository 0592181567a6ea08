#pragma once

#include <QDialog>
#include <QImage>
#include <QPageSize>
#include <QPrinter>

#include "stills/still_dialogs.h"

class QButtonGroup;
class QGridLayout;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace rd420::stills {

class PagePreview;

// Control ids of the page-setup dialog (object names "ctrl<id>").
inline constexpr int kIdMaintainAspect = 1003;
inline constexpr int kIdWidthMm = 1004;
inline constexpr int kIdHeightMm = 1005;
inline constexpr int kIdPortrait = 1056;
inline constexpr int kIdLandscape = 1057;
inline constexpr int kIdSample = 1080;
inline constexpr int kIdPaperSize = 1137;
inline constexpr int kIdPaperSource = 1138;
inline constexpr int kIdMarginLeft = 1155;
inline constexpr int kIdMarginTop = 1156;
inline constexpr int kIdMarginRight = 1157;
inline constexpr int kIdMarginBottom = 1158;
inline constexpr int kIdPositionFirst = 2091;  // 2091..2099: positions 1..9
inline constexpr int kIdFitToPage = 2100;
inline constexpr int kIdSpecifiedSize = 2101;

// "Orvisto Print Page Setup": paper, orientation, margins, the picture's
// size and position, and a sample page that draws the picture where it
// will print. Starts from the defaults each time it opens. GUI thread only.
class PageSetupDialog : public QDialog {
  Q_OBJECT

 public:
  // With `drawn` (the picture with the drawing burnt in) it offers the
  // check box "그림 포함" (kIdWithDrawing), checked.
  PageSetupDialog(const QImage& picture, QPageSize::PageSizeId paper, QWidget* parent = nullptr,
                  const QImage& drawn = QImage());

  // The settings and the printed size of the sample's last drawing.
  PageSetup Result() const { return result_; }
  // Sets the chosen paper, orientation and source on `printer`.
  void ApplyTo(QPrinter& printer) const;

 private:
  void BuildPaperAndMargins(QGridLayout& grid);
  void BuildSizeAndPosition(QGridLayout& grid);
  QLineEdit* NumberEdit(int id, int value);
  void SizeEdited(bool width);
  // Reads the controls and draws the sample again.
  void Relayout();

  QImage picture_;
  QImage drawn_;
  PageSetup result_;
  QComboBox* paper_ = nullptr;
  QComboBox* source_ = nullptr;
  QRadioButton* landscape_ = nullptr;
  QLineEdit* margins_[4] = {};  // left, top, right, bottom
  QRadioButton* fitToPage_ = nullptr;
  QCheckBox* keepProportion_ = nullptr;
  QLineEdit* width_ = nullptr;
  QLineEdit* height_ = nullptr;
  QButtonGroup* positions_ = nullptr;
  QCheckBox* withDrawing_ = nullptr;
  PagePreview* preview_ = nullptr;
};

}  // namespace rd420::stills

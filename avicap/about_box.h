#pragma once

#include <QDialog>

namespace rd420::avicap {

// "About Pelucid VAV Eduruzu": the icon, the program's name and build
// time, and OK. GUI thread only.
class AboutBox : public QDialog {
 public:
  explicit AboutBox(QWidget* owner);
};

}  // namespace rd420::avicap

#pragma once

#include <QDialog>
#include <functional>

#include "viewer/viewer_settings.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;

namespace rd420::viewer {

// The option dialog (dialog 423): the quick-save folder, the control bar's
// auto-hide delay, the full-screen picture and three check boxes. It only
// shows and collects values; the viewer loads them before showing it and
// stores them when OK is pressed. Modeless, hidden until asked for. GUI
// thread only.
class OptionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OptionDialog(QWidget* owner);

  // Sets every control from `settings`.
  void Fill(const ViewerSettings& settings);
  // What the controls show now.
  ViewerSettings Values() const;
  // Asks for a folder starting at the one shown; empty when none was
  // chosen. Tests replace the file dialog.
  std::function<QString(QWidget* owner, const QString& start)> chooseFolder;

 signals:
  // OK (1) was pressed; the dialog stays until the viewer hides it.
  void confirmed();
  // The dialog is about to be shown: time to reload its controls.
  void showing();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* folder_;
  QSlider* seconds_;
  QLabel* secondsShown_;
  QRadioButton* oneToOne_;
  QRadioButton* scaled_;
  QCheckBox* alwaysFull_;
  QCheckBox* safeMode_;
  QCheckBox* topMost_;
};

}  // namespace rd420::viewer

#pragma once

#include <QObject>
#include <QPointer>

#include "platform/settings_store.h"
#include "viewer/picture_stage.h"

class QCheckBox;

namespace rd420::viewer {

class OptionDialog;

// The presenter's values, kept in the viewer's settings file beside the
// viewer's own: PictureTurns (0..3), PictureMirrored and QuickSaveDrawing
// (0 or 1).
struct PresenterSettings {
  Orientation orientation;       // of the shown picture
  bool QuickSaveDrawing = true;  // quick saves burn the drawing in

  bool operator==(const PresenterSettings&) const = default;
};

// Reads the values; each one missing or broken (not a number, out of
// range, a damaged file) keeps its default, silently.
PresenterSettings LoadPresenterSettings(const SettingsKey& key);
// Writes the values by name, the file's others kept. False when the file
// cannot be written.
bool StorePresenterSettings(const SettingsKey& key, const PresenterSettings& settings);

// The presenter's settings as the tools run: loaded when they are made,
// stored at each change. A turn that cannot be written is kept in memory,
// so the tools work on. Adds its check box "빠른 저장에 그림 포함" (object
// name "presenter.quick_save_drawing") to the option dialog, which shows it
// from memory and takes it with the dialog's OK. Thread-bound: the GUI
// thread.
class StoredPresenterSettings : public QObject {
 public:
  StoredPresenterSettings(SettingsKey key, OptionDialog& options);
  ~StoredPresenterSettings() override;

  const PresenterSettings& Current() const { return current_; }
  void SetOrientation(Orientation orientation);

 private:
  void Store() const;

  const SettingsKey key_;
  PresenterSettings current_;
  // The option dialog's child, taken out with the tools.
  QPointer<QCheckBox> quickSaveDrawing_;
};

}  // namespace rd420::viewer

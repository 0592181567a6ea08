#include "viewer/presenter/presenter_settings.h"

#include <QCheckBox>

#include "platform/trace.h"
#include "viewer/option_dialog.h"

namespace rd420::viewer {
namespace {

constexpr char kTurns[] = "PictureTurns";
constexpr char kMirrored[] = "PictureMirrored";
constexpr char kQuickSaveDrawing[] = "QuickSaveDrawing";

// The value `name` when it is a number up to `highest`; else `fallback`.
uint32_t Number(const QVariantMap& values, const char* name, uint32_t highest, uint32_t fallback) {
  const auto it = values.find(QString::fromLatin1(name));
  bool ok = false;
  const uint32_t number = it == values.end() ? 0 : it->toString().toUInt(&ok);
  return ok && number <= highest ? number : fallback;
}

}  // namespace

PresenterSettings LoadPresenterSettings(const SettingsKey& key) {
  PresenterSettings settings;
  const QVariantMap values = key.Read().value_or(QVariantMap{});
  settings.orientation.quarterTurns =
      static_cast<int>(Number(values, kTurns, 3, settings.orientation.quarterTurns));
  settings.orientation.mirrored = Number(values, kMirrored, 1, settings.orientation.mirrored) != 0;
  settings.QuickSaveDrawing = Number(values, kQuickSaveDrawing, 1, settings.QuickSaveDrawing) != 0;
  return settings;
}

bool StorePresenterSettings(const SettingsKey& key, const PresenterSettings& settings) {
  return key.Write({
      {QString::fromLatin1(kTurns), static_cast<uint32_t>(settings.orientation.quarterTurns)},
      {QString::fromLatin1(kMirrored), settings.orientation.mirrored ? 1u : 0u},
      {QString::fromLatin1(kQuickSaveDrawing), settings.QuickSaveDrawing ? 1u : 0u},
  });
}

StoredPresenterSettings::StoredPresenterSettings(SettingsKey key, OptionDialog& options)
    : key_(std::move(key)), current_(LoadPresenterSettings(key_)) {
  // Below the dialog's last check box, above its buttons.
  quickSaveDrawing_ = new QCheckBox(QString::fromUtf8("빠른 저장에 그림 포함"), &options);
  quickSaveDrawing_->setObjectName(QStringLiteral("presenter.quick_save_drawing"));
  quickSaveDrawing_->setToolTip(QStringLiteral("Quick save keeps the drawing"));
  quickSaveDrawing_->setGeometry(12, 430, 381, 28);
  quickSaveDrawing_->setChecked(current_.QuickSaveDrawing);
  connect(&options, &OptionDialog::showing, this,
          [this] { quickSaveDrawing_->setChecked(current_.QuickSaveDrawing); });
  // After the viewer's own OK, which leaves the dialog open when it could
  // not store: then nothing changes, this choice neither.
  connect(&options, &OptionDialog::confirmed, this, [this, &options] {
    if (options.isVisible()) {
      return;
    }
    current_.QuickSaveDrawing = quickSaveDrawing_->isChecked();
    Store();
  });
}

StoredPresenterSettings::~StoredPresenterSettings() {
  delete quickSaveDrawing_;
}

void StoredPresenterSettings::SetOrientation(Orientation orientation) {
  current_.orientation = orientation;
  Store();
}

void StoredPresenterSettings::Store() const {
  if (!StorePresenterSettings(key_, current_)) {
    Trace("presenter: cannot write the settings to %s", qPrintable(key_.Path()));
  }
}

}  // namespace rd420::viewer

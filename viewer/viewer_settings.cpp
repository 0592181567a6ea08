#include "viewer/viewer_settings.h"

#include <unistd.h>

#include <QFileInfo>
#include <QStandardPaths>

#include "platform/message.h"

namespace rd420::viewer {
namespace {

constexpr char kVersion[] = "TORVELA VADIzivid 1.0 for Linux";
constexpr char kLoadFailedText[] = "Registry Open Error!  ";
constexpr char kStoreFailedText[] = "Registry Open Error! ";
constexpr char kCaption[] = "(AWN000020)";

// Each 32-bit value and where it lives in ViewerSettings.
struct DwordValue {
  const char* name;
  uint32_t ViewerSettings::*number;
  bool ViewerSettings::*flag;
};
constexpr DwordValue kDwordValues[] = {
    {"DelayTime", &ViewerSettings::DelayTime, nullptr},
    {"AlwaysFull", nullptr, &ViewerSettings::AlwaysFull},
    {"SafeMode", nullptr, &ViewerSettings::SafeMode},
    {"FullScreenMode3", nullptr, &ViewerSettings::FullScreenMode3},
    {"FullScreenMode4", nullptr, &ViewerSettings::FullScreenMode4},
    {"TopMostMode", nullptr, &ViewerSettings::TopMostMode},
};

QVariantMap ToValues(const ViewerSettings& settings) {
  QVariantMap values{{QStringLiteral("QuickCap"), settings.QuickCap}};
  for (const DwordValue& value : kDwordValues) {
    const uint32_t number =
        value.number != nullptr ? settings.*value.number : (settings.*value.flag ? 1u : 0u);
    values.insert(QString::fromLatin1(value.name), number);
  }
  return values;
}

// Takes what `values` holds into `settings`; false when a value is there
// but is not what the viewer wrote.
bool FromValues(const QVariantMap& values, ViewerSettings& settings) {
  bool intact = true;
  // Unlike the numbers, a missing folder reads as an empty one.
  settings.QuickCap.clear();
  if (const auto it = values.find(QStringLiteral("QuickCap")); it != values.end()) {
    if (it->typeId() == QMetaType::QString) {
      settings.QuickCap = it->toString();
    } else {
      intact = false;
    }
  }
  for (const DwordValue& value : kDwordValues) {
    const auto it = values.find(QString::fromLatin1(value.name));
    if (it == values.end()) {
      continue;
    }
    bool ok = false;
    const uint32_t number = it->toString().toUInt(&ok);
    if (!ok) {
      intact = false;
    } else if (value.number != nullptr) {
      settings.*value.number = number;
    } else {
      settings.*value.flag = number != 0;
    }
  }
  return intact;
}

}  // namespace

ViewerSettings FirstStartSettings(const QString& programDirectory) {
  ViewerSettings settings;
  const QFileInfo folder(programDirectory);
  if (!programDirectory.isEmpty() && folder.isDir() &&
      ::access(QFile::encodeName(programDirectory).constData(), W_OK) == 0) {
    settings.QuickCap = programDirectory + QStringLiteral("/QuickCap");
  } else {
    settings.QuickCap = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) +
                        QStringLiteral("/QuickCap");
  }
  return settings;
}

bool LoadViewerSettings(const SettingsKey& key, ViewerSettings& settings) {
  bool ok = false;
  if (!key.Exists()) {
    QVariantMap values = ToValues(settings);
    values.insert(QStringLiteral("Version"), QString::fromLatin1(kVersion));
    ok = key.Write(values);
  } else if (const std::optional<QVariantMap> values = key.Read()) {
    ok = FromValues(*values, settings);
  }
  if (!ok) {
    ShowMessage(nullptr, kLoadFailedText, kCaption, MessageIcon::kWarning);
  }
  return ok;
}

bool StoreViewerSettings(const SettingsKey& key, const ViewerSettings& settings) {
  if (key.Write(ToValues(settings))) {
    return true;
  }
  ShowMessage(nullptr, kStoreFailedText, kCaption, MessageIcon::kWarning);
  return false;
}

const ViewerSettings& StoredSettings::Load() {
  current_ = FirstStartSettings(programDirectory_);
  LoadViewerSettings(key_, current_);
  return current_;
}

ViewerSettings StoredSettings::Stored() const {
  ViewerSettings stored = current_;
  LoadViewerSettings(key_, stored);
  return stored;
}

bool StoredSettings::Confirm(const ViewerSettings& chosen) {
  if (!StoreViewerSettings(key_, chosen)) {
    return false;
  }
  const bool alwaysFull = current_.AlwaysFull;
  current_ = chosen;
  current_.AlwaysFull = alwaysFull;
  return true;
}

QString StoredSettings::QuickSaveFolder() const {
  const ViewerSettings stored = Stored();
  return stored.QuickCap.isEmpty() ? FirstStartSettings(programDirectory_).QuickCap
                                   : stored.QuickCap;
}

}  // namespace rd420::viewer

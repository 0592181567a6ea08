#pragma once

#include <QString>
#include <QVariant>
#include <optional>

namespace rd420 {

// One key of the user's settings, such as "Software\QRN_VMX", kept as an
// INI file under the user's configuration folder
// ($XDG_CONFIG_HOME/Software/QRN_VMX.ini). Values are read and written
// whole; a write goes to a new file beside the old one and is renamed over
// it, so a failed write leaves the old file as it was. Used by one thread at
// a time (the GUI thread).
class SettingsKey {
 public:
  // `path` empty: the file for `key` under the configuration folder.
  explicit SettingsKey(const QString& key, QString path = {});

  const QString& Path() const { return path_; }
  // Something stands where the file belongs (a file, or anything else).
  bool Exists() const;
  // The values by name; nullopt when the file cannot be read or is not a
  // settings file (an unreadable file, a directory in its place, garbage).
  std::optional<QVariantMap> Read() const;
  // Writes `values` over the ones of the same name, keeping the others
  // when the file could be read. False when the folder or the file cannot
  // be written; the old file is then unchanged.
  bool Write(const QVariantMap& values) const;

 private:
  QString path_;
};

}  // namespace rd420

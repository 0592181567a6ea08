#include "platform/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUtf8StringView>

namespace rd420 {
namespace {

// The files hold a few values; anything larger is not ours.
constexpr qint64 kMaxFileBytes = 64 * 1024;

// A value as QSettings reads it back: numbers bare, text quoted so that a
// comma or a leading blank survives.
QByteArray IniValue(const QVariant& value) {
  if (value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::Int) {
    return value.toString().toUtf8();
  }
  QByteArray quoted = "\"";
  for (const char c : value.toString().toUtf8()) {
    switch (c) {
      case '"':
      case '\\':
        quoted += '\\';
        quoted += c;
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + '"';
}

// QSettings takes almost any bytes for an INI file; a settings file holds
// only blank lines, comments, sections and name=value lines, in UTF-8.
bool LooksLikeSettings(const QByteArray& bytes) {
  if (bytes.contains('\0') || !QUtf8StringView(bytes).isValidUtf8()) {
    return false;
  }
  for (const QByteArray& raw : bytes.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(';') || line.startsWith('#') ||
        (line.startsWith('[') && line.endsWith(']')) || line.indexOf('=') > 0) {
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

SettingsKey::SettingsKey(const QString& key, QString path) : path_(std::move(path)) {
  if (path_.isEmpty()) {
    QString relative = key;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    path_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QLatin1Char('/') + relative + QStringLiteral(".ini");
  }
}

bool SettingsKey::Exists() const {
  return QFileInfo(path_).exists() || QFileInfo(path_).isSymLink();
}

std::optional<QVariantMap> SettingsKey::Read() const {
  // QSettings reads a directory or an unreadable file as an empty key;
  // both are failures here.
  const QFileInfo info(path_);
  if (!info.isFile() || info.size() > kMaxFileBytes) {
    return std::nullopt;
  }
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  const QByteArray bytes = file.readAll();
  if (!LooksLikeSettings(bytes)) {
    return std::nullopt;
  }
  // QSettings parses the bytes just read from a copy of their own: it keeps
  // a parsed file per path and takes a file rewritten within the same
  // millisecond at the same size for the one it has, so a write's merge
  // would put back the values the last write replaced.
  // Without room for the copy, the file itself, cache and all.
  QTemporaryFile copy;
  const bool copied = copy.open() && copy.write(bytes) == bytes.size() && copy.flush();
  QSettings settings(copied ? copy.fileName() : path_, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) {
    return std::nullopt;
  }
  QVariantMap values;
  for (const QString& name : settings.allKeys()) {
    values.insert(name, settings.value(name));
  }
  return values;
}

bool SettingsKey::Write(const QVariantMap& values) const {
  const QFileInfo info(path_);
  if (!QDir().mkpath(info.absolutePath())) {
    return false;
  }
  QVariantMap merged = Read().value_or(QVariantMap{});
  for (auto it = values.begin(); it != values.end(); ++it) {
    merged.insert(it.key(), it.value());
  }
  // Written here rather than by QSettings, which reports a write cut short
  // by a full disk as a success. QSaveFile writes beside the file and
  // renames it over the old one only when every byte is on disk.
  QByteArray text = "[General]\n";
  for (auto it = merged.begin(); it != merged.end(); ++it) {
    text += it.key().toUtf8() + '=' + IniValue(it.value()) + '\n';
  }
  QSaveFile file(path_);
  file.setDirectWriteFallback(false);
  // Unbuffered, so a short write shows here: a buffered one is lost in
  // the flush, which commit() does not report.
  return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
         file.write(text) == text.size() && file.commit();
}

}  // namespace rd420

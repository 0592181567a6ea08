#include "stills/save_still.h"

#include <QDir>
#include <QFileInfo>

#include "platform/message.h"
#include "platform/trace.h"

namespace rd420::stills {
namespace {

constexpr char kOnlyBmpAndJpegText[] =
    "이미지 저장에 실패하였습니다.\nBMP와 JPEG형식의 포맷만 지원합니다.  ";
constexpr char kSaveFailedText[] = "이미지 저장에 실패하였습니다. ";

bool Save(const ImagingBitmap& still, const QString& path, ImageFileFormat format) {
  const int qualityFactor = format == ImageFileFormat::kJpeg ? kJpegQualityFactor : 0;
  std::string error;
  if (SaveBitmapFile(QFile::encodeName(path).toStdString(), still, format, 24, qualityFactor,
                     &error)) {
    return true;
  }
  Trace("stills: cannot save %s: %s", qPrintable(path), error.c_str());
  ShowMessage(nullptr, kSaveFailedText, "Error (AIG00004)", MessageIcon::kError);
  return false;
}

}  // namespace

std::optional<ImageFileFormat> FormatForFileName(const QString& path) {
  const QString ending = QFileInfo(path).fileName().right(3).toLower();
  if (ending == QLatin1String("bmp")) {
    return ImageFileFormat::kBmp;
  }
  if (ending == QLatin1String("jpg")) {
    return ImageFileFormat::kJpeg;
  }
  return std::nullopt;
}

QString QuickSaveFileName(const QDateTime& localTime) {
  const QDate date = localTime.date();
  const QTime time = localTime.time();
  return QString::asprintf("%4d%2.2d%2.2d_%2.2d%2.2d%2.2d.jpg", date.year(), date.month(),
                           date.day(), time.hour(), time.minute(), time.second());
}

bool SaveStillAs(const ImagingBitmap& still, const QString& path) {
  const std::optional<ImageFileFormat> format = FormatForFileName(path);
  if (!format) {
    ShowMessage(nullptr, kOnlyBmpAndJpegText, "Error (AIG00003)", MessageIcon::kError);
    return false;
  }
  return Save(still, path, *format);
}

bool QuickSaveStill(const ImagingBitmap& still, const QString& folder, const QDateTime& localTime) {
  QDir().mkdir(folder);  // it may exist; a failure shows as the save's
  return Save(still, folder + QLatin1Char('/') + QuickSaveFileName(localTime),
              ImageFileFormat::kJpeg);
}

}  // namespace rd420::stills

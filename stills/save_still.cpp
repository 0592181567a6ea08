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

// After a failed save of `path`: the trace says why, the user is told.
bool ReportFailure(const QString& path, const std::string& error) {
  Trace("stills: cannot save %s: %s", qPrintable(path), error.c_str());
  ShowMessage(nullptr, kSaveFailedText, "Error (AIG00004)", MessageIcon::kError);
  return false;
}

std::string LocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
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

QString QuickSaveFileName(const QDateTime& localTime, int copy) {
  const QDate date = localTime.date();
  const QTime time = localTime.time();
  const QString stem = QString::asprintf("%4d%2.2d%2.2d_%2.2d%2.2d%2.2d", date.year(), date.month(),
                                         date.day(), time.hour(), time.minute(), time.second());
  return copy == 0 ? stem + QStringLiteral(".jpg") : stem + QStringLiteral("_%1.jpg").arg(copy);
}

bool SaveStillAs(const ImagingBitmap& still, const QString& path) {
  const std::optional<ImageFileFormat> format = FormatForFileName(path);
  if (!format) {
    ShowMessage(nullptr, kOnlyBmpAndJpegText, "Error (AIG00003)", MessageIcon::kError);
    return false;
  }
  const int qualityFactor = *format == ImageFileFormat::kJpeg ? kJpegQualityFactor : 0;
  std::string error;
  return SaveBitmapFile(LocalPath(path), still, *format, 24, qualityFactor, &error) ||
         ReportFailure(path, error);
}

bool QuickSaveStill(const ImagingBitmap& still, const QString& folder, const QDateTime& localTime) {
  QDir().mkdir(folder);  // it may exist; a failure shows as the save's
  const auto nameFor = [&](int copy) {
    return LocalPath(folder + QLatin1Char('/') + QuickSaveFileName(localTime, copy));
  };
  std::string error;
  return SaveBitmapFileAsNew(nameFor, still, ImageFileFormat::kJpeg, 24, &error) ||
         ReportFailure(folder + QLatin1Char('/') + QuickSaveFileName(localTime), error);
}

}  // namespace rd420::stills

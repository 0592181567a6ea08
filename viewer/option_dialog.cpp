#include "viewer/option_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "viewer/skin_button.h"

namespace rd420::viewer {
namespace {

constexpr int kMaxSeconds = 30;

template <typename Control, typename... Args>
Control* Make(QWidget* parent, int id, QRect geometry, Args&&... args) {
  auto* control = new Control(std::forward<Args>(args)..., parent);
  control->setObjectName(ControlName(id));
  control->setGeometry(geometry);
  return control;
}

QString Korean(const char* text) {
  return QString::fromUtf8(text);
}

}  // namespace

OptionDialog::OptionDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Option Dialog"));
  setFixedSize(405, 510);
  chooseFolder = [](QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, Korean("빠른 저장(Q-Save) 폴더를 고르세요..."),
                                             start, QFileDialog::ShowDirsOnly);
  };

  Make<QGroupBox>(this, 2159, {12, 10, 381, 90}, Korean(" 현재 빠른 저장(Q-SAVE) 폴더 "));
  folder_ = Make<QLabel>(this, 2154, {24, 34, 357, 32});
  folder_->setWordWrap(true);
  auto* change = Make<QPushButton>(this, 2155, {301, 68, 80, 24}, Korean("변경"));
  connect(change, &QPushButton::clicked, this, [this] {
    const QString chosen = chooseFolder(this, folder_->text());
    if (!chosen.isEmpty()) {
      folder_->setText(chosen);
    }
  });

  Make<QGroupBox>(this, 2160, {12, 110, 381, 100}, Korean(" 컨트롤바 자동 숨김 시간 "));
  seconds_ = Make<QSlider>(this, 2157, {24, 136, 280, 28}, Qt::Horizontal);
  seconds_->setRange(0, kMaxSeconds);
  seconds_->setPageStep(1);
  seconds_->setTickPosition(QSlider::TicksBelow);
  secondsShown_ = Make<QLabel>(this, 2158, {314, 136, 36, 28});
  secondsShown_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Make<QLabel>(this, 2161, {354, 136, 30, 28}, Korean("초"));
  Make<QLabel>(this, 2163, {24, 176, 357, 24}, Korean("(0 초 = 항상 보임)"));
  connect(seconds_, &QSlider::valueChanged, this,
          [this](int value) { secondsShown_->setNum(value); });

  Make<QGroupBox>(this, 2171, {12, 220, 381, 90}, Korean("전체화면 모드 옵션"));
  oneToOne_ = Make<QRadioButton>(this, 2174, {24, 246, 357, 24},
                                 Korean("1:1 오리지널 모드(1280 X 960 혹은 1280 X 720)"));
  scaled_ =
      Make<QRadioButton>(this, 2175, {24, 276, 357, 24}, Korean("영상 확대/축소(4:3 혹은 16:9)"));

  alwaysFull_ =
      Make<QCheckBox>(this, 2156, {12, 324, 381, 40},
                      Korean("항상 FULL해상도로 저장/출력 (프로그램을 다시 시작해야 함)"));
  safeMode_ = Make<QCheckBox>(this, 2164, {12, 368, 381, 28},
                              Korean("안전모드 (저사양 그래픽카드에서 사용)"));
  topMost_ = Make<QCheckBox>(this, 2167, {12, 400, 381, 28}, Korean("메인윈도우 항상 위 상태"));

  auto* ok = Make<QPushButton>(this, 1, {212, 464, 85, 28}, QStringLiteral("OK"));
  auto* cancel = Make<QPushButton>(this, 2, {308, 464, 85, 28}, QStringLiteral("Cancel"));
  connect(ok, &QPushButton::clicked, this, &OptionDialog::confirmed);
  connect(cancel, &QPushButton::clicked, this, &QDialog::hide);
}

void OptionDialog::Fill(const ViewerSettings& settings) {
  folder_->setText(settings.QuickCap);
  seconds_->setValue(static_cast<int>(std::min<uint32_t>(settings.DelayTime / 1000, kMaxSeconds)));
  secondsShown_->setNum(static_cast<int>(settings.DelayTime / 1000));
  // The stored pair is shown as it is, even both on or both off, until
  // the user picks one.
  for (auto [radio, on] : {std::pair{oneToOne_, settings.FullScreenMode3},
                           std::pair{scaled_, settings.FullScreenMode4}}) {
    radio->setAutoExclusive(false);
    radio->setChecked(on);
    radio->setAutoExclusive(true);
  }
  alwaysFull_->setChecked(settings.AlwaysFull);
  safeMode_->setChecked(settings.SafeMode);
  topMost_->setChecked(settings.TopMostMode);
}

ViewerSettings OptionDialog::Values() const {
  ViewerSettings settings;
  settings.QuickCap = folder_->text();
  settings.DelayTime = static_cast<uint32_t>(secondsShown_->text().toUInt()) * 1000;
  settings.FullScreenMode3 = oneToOne_->isChecked();
  settings.FullScreenMode4 = scaled_->isChecked();
  settings.AlwaysFull = alwaysFull_->isChecked();
  settings.SafeMode = safeMode_->isChecked();
  settings.TopMostMode = topMost_->isChecked();
  return settings;
}

void OptionDialog::showEvent(QShowEvent* event) {
  emit showing();
  QDialog::showEvent(event);
}

}  // namespace rd420::viewer

#include "viewer/viewer_role.h"

#include <QWidget>
#include <algorithm>

#include "viewer/control_ids.h"
#include "viewer/link_messages.h"
#include "viewer/skin_button.h"
#include "viewer/viewer_settings.h"

namespace rd420::viewer {
namespace {

constexpr RoleTexts kProgramTexts = {
    "TORVELA View Panel",
    kViewerSettingsKey,
    "해상도가 변경되어서 프로그램이 종료되었습니다. 프로그램을 다시 실행해 주십시오.",
    "이 모드를 이용하기 위하여 1280보다 큰 너비의 해상도가 필요합니다.",
    "비트맵 핸들 생성 실패",
    "TORVELA View Panel",
    "RD-420 document camera viewer",
};

class Program final : public ViewerRole {
 public:
  const RoleTexts& Texts() const override { return kProgramTexts; }
  const LinkMessages& Messages() const override { return ViewerLinkMessages(); }
};

}  // namespace

void ViewerRole::PutAway(std::span<QWidget* const> windows) const {
  for (QWidget* window : windows) {
    window->hide();
  }
}

ViewerRole& ProgramRole() {
  static Program role;
  return role;
}

void DressButtons(QWidget& window, std::span<const ButtonFace> faces) {
  for (SkinButton* button : window.findChildren<SkinButton*>(Qt::FindDirectChildrenOnly)) {
    const auto face = std::find_if(faces.begin(), faces.end(), [button](const ButtonFace& f) {
      return f.viewerId == button->Spec().id;
    });
    if (face == faces.end()) {
      delete button;
      continue;
    }
    button->setObjectName(ControlName(face->id));
    button->setToolTip(QString::fromLatin1(face->tooltip));
  }
}

}  // namespace rd420::viewer

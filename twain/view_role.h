#pragma once

#include <functional>

#include "twain/view_host.h"
#include "viewer/viewer_role.h"

namespace rd420::twain {

// The view window's role: the viewer's windows with the data source's
// English texts, settings key and control ids, no save, print, quick save
// or relay, the held still handed to the application through `port`, and
// closing asked of it through `askClose`.
class DataSourceRole final : public viewer::ViewerRole {
 public:
  DataSourceRole(SourcePort port, std::function<void()> askClose)
      : port_(std::move(port)), askClose_(std::move(askClose)) {}

  const viewer::RoleTexts& Texts() const override;
  const LinkMessages& Messages() const override;
  void Dress(viewer::MainWindow& main, viewer::ControlPanel& panel,
             viewer::OptionDialog& options) const override;
  void PutAway(std::span<QWidget* const>) const override {}
  bool ShowsFailedStart() const override { return true; }
  bool EndsWhenStreamFails() const override { return true; }
  bool ExitsOnFormatChange() const override { return true; }
  bool HandsStillOver() const override { return true; }
  void AskClose() override { askClose_(); }
  void HandOverStill(std::span<const uint8_t> pixels, int width, int height) override;
  bool StillTaken() const override { return !port_.resumeFlag || port_.resumeFlag(); }

 private:
  const SourcePort port_;
  const std::function<void()> askClose_;
};

// The window's messages for the device link's failures.
const LinkMessages& DataSourceLinkMessages();

}  // namespace rd420::twain

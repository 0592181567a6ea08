#pragma once

#include <cstdint>
#include <span>

namespace rd420::viewer {

// What pressing a skin button does.
enum class ButtonAction {
  kLocal,   // handled by its window (mode, capture, save, windows)
  kPost,    // queue `word` for the next reader cycle
  kToggle,  // queue `word` when `statusBit` is set in the status word, else `wordIfClear`
  kHold,    // queue `word` on press and the stop word on release
};

enum class Overlay { kNone, kZoom, kBrightness };

// One skin button: its place in its window, its pictures (bitmap numbers,
// 0 for none) and what it does.
struct ButtonSpec {
  int id;
  int x, y, width, height;
  int normal, pressed, disabled;
  const char* tooltip;
  ButtonAction action = ButtonAction::kLocal;
  uint32_t word = 0;
  uint32_t wordIfClear = 0;
  uint32_t statusBit = 0;
  Overlay overlay = Overlay::kNone;
};

// The control panel's buttons at their fixed places.
std::span<const ButtonSpec> PanelButtons();
// The main window's right-hand column in the half layout of a 4:3 camera;
// BottomGroupShift moves the lower five for 16:9.
std::span<const ButtonSpec> MainButtons();
bool InBottomGroup(int mainButtonId);
inline constexpr int kBottomGroupShift169 = -120;

// The word a toggle or post button queues for `status`.
uint32_t WordToQueue(const ButtonSpec& spec, uint32_t status);

}  // namespace rd420::viewer

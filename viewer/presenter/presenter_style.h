#pragma once

#include <QColor>

namespace rd420::viewer {

// The viewer's skin for the presenter's own windows: charcoal, the accent
// blue and light ink, as the skin's bitmaps have them.
inline const QColor kPresenterAccent(0x2f, 0x7f, 0xd0);

inline constexpr char kPresenterStyle[] = R"(
#presenterStrip, #presenterCompareStrip { background: #2b2f36; border: 1px solid #4b525d; }
QLabel { color: #9aa3ae; font: bold 10px; }
QToolButton { color: #e8ebf0; background: #353a42; border: 1px solid #4b525d;
              border-radius: 3px; padding: 2px 5px; font: bold 11px; }
QToolButton:hover { border-color: #2f7fd0; }
QToolButton:checked { background: #2f7fd0; border-color: #6aa5e3; }
QToolButton:disabled { color: #5a606a; background: #202329; border-color: #31353c; }
QLineEdit { background: #2b2f36; color: #e8ebf0; border: 1px solid #2f7fd0; }
)";

}  // namespace rd420::viewer

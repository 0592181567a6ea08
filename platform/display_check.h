#pragma once

namespace rd420 {

// Whether Qt can open windows where the program was started. Qt's xcb
// platform ends the program with SIGABRT when its X server does not answer
// (none runs yet, a wrong DISPLAY, a server too busy to accept), so a
// program asks first: when not, this says why on standard error, under the
// program's name, and the program ends with an exit code instead. Other
// platforms (chosen in the environment or by -platform among the program's
// arguments), and lists Qt may fall back through, are left to Qt.
bool DisplayAnswers(int argc, char** argv);

}  // namespace rd420

#pragma once

#include <string>

namespace rd420::tools {

// rd420ctl check [--dir DIR] [--node RD-420-n] [--quick]: runs every item
// of the conformance check against one camera node and prints one line per
// item and a summary. `args` starts with the word "check"; `directory` is
// the device directory of rd420ctl's own options. Returns the exit code:
// 0 when every item passed, 1 when one failed, 2 for a usage mistake.
int Check(int argc, char** args, std::string directory);

}  // namespace rd420::tools

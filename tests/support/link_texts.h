#pragma once

#include "devlink/link_messages.h"

namespace rd420::test {

// Texts for the device link's failures where no program is under test:
// each caption names its failure, so a test sees which failure was shown
// without borrowing a program's table. As in the programs' tables, a
// refused connection keeps each failure's own text.
inline const LinkMessages& TestLinkMessages() {
  static constexpr LinkMessages kTable = {{
      {"NoDevice", "no device opens"},
      {"SpeedTestOpen", "the pipe check cannot open the device"},
      {"PostOpen", "a posted request cannot open the device"},
      {"PostRequest", "a posted request failed"},
      {"SendOpen", "a request cannot open the device"},
      {"SendRequest", "a request failed"},
      {"StreamOpen", "a run cannot open the device"},
      {"BulkRead", "a frame read failed"},
      {"NotReady", "the camera never became ready"},
      {"NotHighSpeed", "the link is not high speed"},
  }};
  return kTable;
}

}  // namespace rd420::test

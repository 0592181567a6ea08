#pragma once

#include "devlink/link_messages.h"

namespace rd420::tools {

// rd420ctl's English texts for the device link's failures, one line each
// for a terminal.
const LinkMessages& ConsoleLinkMessages();

}  // namespace rd420::tools

#pragma once

#include "devlink/link_messages.h"

namespace rd420::viewer {

// The viewer's Korean texts for the device link's failures.
const LinkMessages& ViewerLinkMessages();

}  // namespace rd420::viewer

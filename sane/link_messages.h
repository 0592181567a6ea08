#pragma once

#include "devlink/link_messages.h"

namespace rd420::sane {

// The back-end's texts for the device link's failures; they reach the user
// only as SANE_DEBUG_RD420 lines, beside the status the front-end shows.
const LinkMessages& SaneLinkMessages();

}  // namespace rd420::sane

#pragma once

#include "devlink/link_messages.h"

namespace rd420::avicap {

// The capture program's texts for the device link's failures (English).
const LinkMessages& CaptureLinkMessages();

}  // namespace rd420::avicap

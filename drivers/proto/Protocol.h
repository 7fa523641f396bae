// The frame codec lives in core/ (the companion's frame trace decodes
// frames too, and sits above core/ only); the bus code includes it here.
#pragma once

#include "core/Protocol.h"

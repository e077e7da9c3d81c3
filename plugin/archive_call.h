// One exported call's hold on an archive (ArchiveCall) now lives beside the
// archive itself.
#pragma once

#include "document/archive.h"

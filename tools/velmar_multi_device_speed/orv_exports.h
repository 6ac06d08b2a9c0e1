// liborv's record layouts and export signatures, taken from its public
// header. The program never links liborv: the header only supplies types.
#pragma once

#include "orv.h"

// Looks up the liborv export `name` in `library` (a velmar::Library) with the
// signature the header declares for it; a missing export is SdkInternalError.
#define VELMAR_FIND_EXPORT(library, name) (library).function<decltype(&::name)>(#name)

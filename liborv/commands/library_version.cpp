// orv_version: the version liborv was built as, from its own header.
#include "orv.h"

ORV_API const char *orv_version(void) { return ORV_VERSION; }

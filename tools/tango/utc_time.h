// A moment as the UTC text stored with a dark or a reference (platform file).
#ifndef ORV_TANGO_UTC_TIME_H
#define ORV_TANGO_UTC_TIME_H

#include <chrono>
#include <string>

namespace orv_tango {

// "2026-12-10T22:00:00Z"
std::string utc_text(std::chrono::system_clock::time_point when);

}  // namespace orv_tango

#endif

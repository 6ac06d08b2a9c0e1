// The exchange tests pass this as a length out-parameter's value before a
// call, to see whether the call wrote it.
#pragma once

constexpr int kSentinel = -12345;

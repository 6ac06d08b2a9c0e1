// Every wait of the link has a deadline; these are the link's own. A
// spectrum's comes from the command that reads it (spectrum_wait in
// commands/request_patterns.h).
#pragma once

#include <cstdint>

// D2XX read and write timeouts outside an exchange, and the read timeout of a
// register reply's header.
inline constexpr uint32_t ORV_DEFAULT_TIMEOUT_MS = 5000;
inline constexpr uint32_t ORV_REGISTER_READ_TIMEOUT_MS = 200;

// A NIR_LEGACY reply of unknown length ends when the line stays quiet for
// the command's idle gap; the line is polled with short reads and pauses.
inline constexpr unsigned NIR_SET_IDLE_GAP_MS = 300;
inline constexpr unsigned NIR_GET_IDLE_GAP_MS = 500;
inline constexpr unsigned NIR_FLASH_IDLE_GAP_MS = 1000;
inline constexpr uint32_t NIR_POLL_READ_TIMEOUT_MS = 50;
inline constexpr unsigned NIR_POLL_PAUSE_MS = 5;
// A reply of known size whose length varies (the spectrum frame forms) ends
// when the bytes after its shortest form stay away this long.
inline constexpr uint32_t NIR_REPLY_TAIL_GAP_MS = 20;

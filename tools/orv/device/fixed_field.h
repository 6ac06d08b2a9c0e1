// Text of a fixed-size character field that may lack its terminator (D2XX
// list nodes, liborv's device record): read up to the field's end at most.
#pragma once

#include <cstring>
#include <string>

namespace orvcli {

template <std::size_t N>
std::string text_of_field(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

}  // namespace orvcli

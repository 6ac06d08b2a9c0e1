// A scenario that cannot be used: the message names the JSON path of the
// problem ("bridges[1].serial: ...") or says why the file cannot be read.
#pragma once

#include <stdexcept>

namespace orvsim {

class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace orvsim

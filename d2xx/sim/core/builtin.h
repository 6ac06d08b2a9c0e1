// Built-in data: the model table and the default scenario, as JSON text in the
// scenario format.
#pragma once

namespace orvsim {

extern const char *const kBuiltinModels;
extern const char *const kDefaultScenario;

}  // namespace orvsim

// The eleven D2XX calls liborv makes, as one table of function pointers with
// one accessor: every call site reads `d2xx().FT_Read(...)`, whichever way the
// provider was bound. Two bindings, one per build (liborv/CMakeLists.txt):
//
//   d2xx_loaded.cpp  the provider is loaded at run time (Linux): the library
//                    named by ORV_D2XX_LIBRARY, else libftd2xx.so
//   d2xx_linked.cpp  the provider is linked (Windows: FTD2XX.dll; the fuzz
//                    targets and stand-in tests, which define the calls)
//
// Library-internal.
#pragma once

#include <string>

#include "ftd2xx.h"

struct d2xx_calls {
#define ORV_D2XX_MEMBER(name) decltype(&::name) name;
    ORV_D2XX_CALLS(ORV_D2XX_MEMBER)
#undef ORV_D2XX_MEMBER
};

// The provider's calls. Never fails and never throws: without a provider
// (none could be loaded) every call returns FT_DEVICE_NOT_FOUND, so listing
// finds no device and opening fails as with a driver that finds none.
// Thread-safe; the table a successful load gives stays valid for the life of
// the process.
const d2xx_calls &d2xx() noexcept;

// Which provider d2xx() uses, loading it first if none is loaded yet: true
// with the file it comes from, false with the reason none could be loaded.
// `text` is empty when it cannot be told (no memory, or the loader cannot say
// which file the linked calls are in). Never throws.
bool d2xx_provider(std::string &text) noexcept;

// A D2XX library that lists bridges and can do nothing else: the two listing
// calls are answered by another copy of the simulated provider, loaded from
// the path in ORV_TEST_LISTING_SOURCE. Placed beside liborv under the
// driver's file name, it is what the benchmark program lists through while
// liborv must take its driver from elsewhere (Windows x64 only).
//
// The D2XX header cannot be combined with <windows.h>; the two calls are
// declared here in Windows' own types of the same sizes (FT_STATUS and DWORD
// are 32-bit unsigned; the node array is passed on untouched).
#include <windows.h>

namespace {

constexpr ULONG kOtherError = 18;  // FT_OTHER_ERROR

using CreateList = ULONG (*)(DWORD *);
using GetList = ULONG (*)(void *, DWORD *);

template <typename Function>
Function source_function(const char *name) {
    static const HMODULE source = [] {
        static wchar_t path[32768];
        const DWORD n = GetEnvironmentVariableW(L"ORV_TEST_LISTING_SOURCE", path, 32768);
        return n > 0 && n < 32768 ? LoadLibraryW(path) : nullptr;
    }();
    if (source == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(source, name)));
}

}  // namespace

extern "C" {

__declspec(dllexport) ULONG FT_CreateDeviceInfoList(DWORD *count) {
    const auto list = source_function<CreateList>("FT_CreateDeviceInfoList");
    return list != nullptr ? list(count) : kOtherError;
}

__declspec(dllexport) ULONG FT_GetDeviceInfoList(void *nodes, DWORD *count) {
    const auto list = source_function<GetList>("FT_GetDeviceInfoList");
    return list != nullptr ? list(nodes, count) : kOtherError;
}

}  // extern "C"

/* A shared library that loads but has none of liborv's exports. */
#ifdef _WIN32
__declspec(dllexport)
#endif
    int hardening_empty_sdk_marker(void) {
    return 0;
}

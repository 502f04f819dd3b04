/* The code of a gauge built for the loader tests: one exported function, so
   the module is a DLL with code and an export table as real gauges have.
   Also compiled as C, by the 32-bit compiler. */
#ifdef __cplusplus
extern "C"
#endif
    __declspec(dllexport) int gauge_answer(void) {
  return 42;
}

// A shared library that is no module library: it exports no MP_GetFactory.
extern "C" __attribute__((visibility("default"))) int notAFactory() { return 0; }

// A loadable library without a VST 2 entry point.
extern "C" __attribute__((visibility("default"))) int TessaronNothingHere() { return 0; }

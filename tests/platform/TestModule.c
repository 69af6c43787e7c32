/* A library for the loader tests: one exported function with a known answer. */
int BrindleTestModuleAnswer(void) { return 4242; }

// A library that a stand-in driver imports from and that lives only in System32, as the vendor
// DLL's own imports do.
extern "C" __declspec(dllexport) int standInDependencyMark() { return 2; }

// Loads comctl32 by name the way an unhardened program does; exits 0 when it loaded.
#include <windows.h>

int main() { return LoadLibraryA("comctl32.dll") ? 0 : 1; }

// The engine formats and reads numbers with the system's C runtime (msvcrt.dll, which
// it imports anyway), not with mingw-w64's own printf and strtod: those bring their
// own floating-point conversion code, about 36 KB. Linked into the engine alone.
// The system's printf takes every conversion the engine's format strings use ("ll"
// since Windows Vista); texts that must not depend on the runtime (rounding of
// halves, exponent digits) are made from whole numbers or mended where they are made.
#include <cstdarg>
#include <cstddef>

extern "C" {

// libmingwex's C99 wrapper over the runtime's _vsnprintf and _vscprintf: always ends
// the text, gives the length the whole text needs.
int __cdecl __ms_vsnprintf(char* out, size_t capacity, const char* format, va_list arguments);
__declspec(dllimport) double __cdecl strtod(const char* text, char** end);

int __cdecl __mingw_vsnprintf(char* out, size_t capacity, const char* format, va_list arguments) {
  return __ms_vsnprintf(out, capacity, format, arguments);
}

double __cdecl __mingw_strtod(const char* text, char** end) { return strtod(text, end); }

}  // extern "C"

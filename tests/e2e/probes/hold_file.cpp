// Holds a file open with no sharing, as a running program holds its own files.
// Usage: hold_file <file> <ready marker> <seconds>; the marker is written once the file
// is held, and the file is let go after the given time (or when the process is ended).
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  HANDLE marker = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 4;
  CloseHandle(marker);
  Sleep(DWORD(std::atoi(argv[3])) * 1000);
  CloseHandle(file);
  return 0;
}

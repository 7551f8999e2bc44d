// Test helper: holds a file open with no sharing, so that another process meets a real
// sharing violation. Usage: file_locker <file> <ready event> <release event>
// Signals <ready event> once the file is held, and lets go when <release event> is set
// (or after two minutes, so that a crashed test leaves nothing locked for long).
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  if (!ready || !release) return 4;
  SetEvent(ready);
  WaitForSingleObject(release, 120000);
  CloseHandle(file);
  return 0;
}

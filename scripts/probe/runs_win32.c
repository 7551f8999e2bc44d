/* The smallest 32-bit Windows program: if Wine prints its line, this host runs 32-bit
   Windows code. Some kernels have 32-bit emulation switched off, and Wine's 32-bit
   loader then fails before any Windows code runs. */
#include <windows.h>

int main(void)
{
    DWORD written;
    static const char line[] = "32-bit Windows code runs\n";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line - 1, &written, NULL);
    return 0;
}

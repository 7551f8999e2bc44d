#!/bin/sh
# Compiler and linker launcher for the engine: runs the mingw-w64 driver of the win32
# thread model in place of the posix one the toolchain names. The engine starts its few
# threads through Windows itself (never std::thread), and the win32 model's run time
# guards static initialisation with Windows' own primitives, where the posix model
# links winpthreads (about 32 KB).
# Test programs keep the posix model: they use std::thread.
driver=$1
shift
exec "${driver%-posix}-win32" "$@"

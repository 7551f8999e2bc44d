# The x64 engine, for 64-bit Windows without 32-bit support, and for hosts whose Wine
# runs only 64-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(wine_run ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

# The 32-bit engine, the one halvard-build ships by default.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
set(wine_run ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

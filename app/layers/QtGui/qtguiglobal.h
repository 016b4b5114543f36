// Found before Qt's own header by the libraries below the window (see
// app/CMakeLists.txt): every Qt GUI header includes this one first.
#error "no Qt GUI below the window: move this code to app/window"
// A missing file ends the compilation here, before a screen of follow-on errors.
#include "layers: see app/CMakeLists.txt"

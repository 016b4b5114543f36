// Found before Qt's own header by the libraries below the window (see
// app/CMakeLists.txt): every Qt Widgets header includes this one first, so a
// widget in the upload, the database or the command line stops the build here.
#error "no Qt Widgets below the window: move this code to app/window"
// A missing file ends the compilation here, before a screen of follow-on errors.
#include "layers: see app/CMakeLists.txt"

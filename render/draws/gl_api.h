#pragma once

// OpenGL 1.1 and GLU, the only graphics interfaces the visuals use. On
// Windows, gl.h needs the calling conventions that windows.h declares; the
// web page has them from its own layer over WebGL.

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef __EMSCRIPTEN__
#include "gl11_webgl.h"  // the web shell's OpenGL 1.1, on its include path
#else
#include <GL/gl.h>
#include <GL/glu.h>
#endif

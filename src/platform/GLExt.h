// The two ARB multitexture entry points, looked up once through the platform
// layer when the context is made. Mesa's gl.h already declares functions of
// these names, so the pointers live in the namespace arb: call them as
// arb::glActiveTextureARB(...) and arb::glMultiTexCoord2fARB(...).
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

namespace arb {
extern PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB;
extern PFNGLACTIVETEXTUREARBPROC glActiveTextureARB;
// Looks both up; called by the platform layer once a context exists.
void loadEntryPoints();
} // namespace arb

// Placeholder until the mesh code lands.
#include "geometry/mesh.h"

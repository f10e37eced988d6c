#include "scenes/DemoFixture.h"

// Tamrak engine: the software renderer's drawing routines.
#pragma once

#include "engine/softrender/drawmemimg.h"
#include "engine/softrender/primitives.h"
#include "engine/softrender/quad.h"
#include "engine/softrender/rotate.h"
#include "engine/softrender/stretch.h"
#include "engine/softrender/triangle.h"

// Registrations of the layer's own filters, gathered by BuiltinFilters() in registry.cpp.
#pragma once

#include <vector>

#include "platform/media/media.h"

FilterRegistration AudioRendererRegistration();

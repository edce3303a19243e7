// Inside the platform layer only: the window's event loop hands device events to input.
#pragma once

#include <SDL.h>

void PlatformInput_OnEvent(const SDL_Event& event);

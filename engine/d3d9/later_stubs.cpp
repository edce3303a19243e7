// Graphics services that are not built yet.
#include "engine/d3d9/graphics.h"

int InitGraphicsSystem() { return 0; }
int TerminateGraphicsSystem() { return 0; }
int InitSoftImageManage() { return 0; }
int TermSoftImageManage() { return 0; }
int InitModelManage() { return 0; }
int TermModelManage() { return 0; }

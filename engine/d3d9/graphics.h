// Tamrak engine: graph handles and the screen mode, public operations.
#pragma once

// Engine start-up and shutdown call these.
int InitGraphicsSystem();  // -1 fails start-up
int TerminateGraphicsSystem();
int InitSoftImageManage();
int TermSoftImageManage();
int InitModelManage();
int TermModelManage();

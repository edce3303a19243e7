// What the processor runs beyond the x86-64 baseline, for the kernels chosen at run time.
#pragma once

bool ProcessorHasAvx2();

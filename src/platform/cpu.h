// What the processor offers: vector instruction sets and cores.
#pragma once

// True when this CPU runs AVX2 (and the FMA that comes with it).
bool cpu_has_avx2();

// Processors online now; at least 1.
int cpu_count();

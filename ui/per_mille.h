// Progress of an entry in thousandths, without 64-bit arithmetic (the stub
// has no runtime helpers for it).
#pragma once
#include <stdint.h>

// done * 1000 / total rounded to nearest, halves up; 0 when total is 0.
uint32_t PerMille(uint32_t done, uint32_t total);

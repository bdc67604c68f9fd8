#pragma once
// The kernel's random sequence. The kernel's formulas expect values from 0 to
// 32767, so it does not use the platform's rand(): the classic linear
// congruential sequence, one per process, state 1 at load.

constexpr int G_RAND_MAX = 32767;

// Next value of the sequence, 0 to 32767. Safe to call from several threads
// (each call advances the one shared sequence atomically).
int GRand();

// Restarts the sequence from `seed`.
void GSRand(unsigned int seed);

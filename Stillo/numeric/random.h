// A portable uniform generator and the deviates built on it. The generator's state, the saved
// second value of each normal routine and the Poisson routine's constants are process-wide and
// unsynchronised: these routines are for one thread at a time. The caller owns only the seed.
#pragma once

#include <cstdint>

namespace numeric {

// A uniform float between 0 and 1 from three linear congruential generators and a shuffle
// table of 97 values. The first call of the process and every call with a negative *seed
// (re)seed the generators from *seed and set it to 1; the same negative seed restarts the same
// sequence. Seeds must be at most 54773.
float RAN1(int32_t* seed);

// A normal deviate of mean 0 and variance 1 (polar method). Values come in pairs: every second
// call returns the value saved by the one before without drawing, also across a reseed.
float normal_deviate(int32_t* seed);

// As normal_deviate, with its own saved value, but each uniform draw multiplied by s * s before
// it is mapped to -1 .. 1. A scale with which no pair of draws can ever fall inside the unit
// circle (|s| up to about 0.3827, above about 1.9e5, or not finite) fails through numeric_error;
// close above those limits a pair inside can still be very rare.
float scaled_normal_deviate(int32_t* seed, double s);

// -ln of a uniform draw: an exponential deviate of unit mean.
float exponential_deviate(int32_t* seed);

// A Poisson deviate of the given mean, a whole number as float: counting uniform draws below 12,
// rejection from a Lorentzian above. A mean that is not a finite float fails through
// numeric_error.
float poisson_deviate(double mean, int32_t* seed);

} // namespace numeric

// The fixed seed of the hack's random numbers, which the view takes from the
// host's creation arguments.
#pragma once

namespace somnel::support {

// Makes every later ya_rand_init(0) seed with `seed` instead of the clock;
// 0 makes it unpredictable again.
void fixRandomSeed(unsigned int seed);

}  // namespace somnel::support

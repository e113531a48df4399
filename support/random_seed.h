// The fixed seed of the hack's random numbers, which the view takes from the
// host's creation arguments.
#pragma once

// Makes every later ya_rand_init(0) seed with `seed` instead of the clock;
// 0 makes it unpredictable again.
void ya_rand_fix_seed(unsigned int seed);

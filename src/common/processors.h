// Processors: how many processors this process may run on, for the default thread count.
#pragma once

// The processors in this process's affinity mask, or those the system reports where there
// is no mask; at least 1.
int available_processors();

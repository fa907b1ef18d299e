// Independent units of work (the simulations of an inference) shared among threads. Each unit
// draws from a random stream of its own, derived from the seed and the unit's number, so the
// results do not depend on the number of threads or on which thread ran a unit.
#pragma once

#include <functional>

namespace pairlab {

// The threads a run uses: `requested`, or every core of the machine when it is 0.
int threadCount(int requested);

// Calls work(unit, thread) for every unit in [0, units), on `threads` threads (thread 0 is the
// calling one, which also calls progress(units done) now and then). A stop raised by a unit ends
// the others as soon as their current unit is done and is raised again here.
void forEachUnit(long long units, int threads,
                 const std::function<void(long long unit, int thread)>& work,
                 const std::function<void(long long done)>& progress);

}  // namespace pairlab

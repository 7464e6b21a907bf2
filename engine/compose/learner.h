#pragma once
// Where an input line hands its composed state when words are committed: the learner takes a
// copy of the line's snapshot as a job and learns from it on its own thread. The line never
// shares itself; every job owns its units and candidates.

#include <memory>

#include "engine/compose/snapshot.h"

namespace kov {

class I_Learner {
public:
    virtual ~I_Learner() = default;
    // Takes the job; the learner moves the pointer out. A job left in the pointer is destroyed
    // by the caller.
    virtual void enqueue(std::unique_ptr<C_InputLineSnapshot>& job) const = 0;
};

}  // namespace kov

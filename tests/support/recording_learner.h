#pragma once
// A learner for tests: it keeps every job an input line hands over, in order, so that a test
// can look at the committed lines (or feed them to a real learner later). It can be told to
// refuse the next job by throwing, as a failing learner would. Not for use from several threads.

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/compose/learner.h"
#include "engine/compose/snapshot.h"

namespace kov::test {

class C_RecordingLearner : public I_Learner {
public:
    // Takes the job, or throws std::runtime_error "Recording learner refused the job" (leaving
    // it with the caller) when told to.
    void enqueue(std::unique_ptr<C_InputLineSnapshot>& job) const override {
        if (m_refuseNext) {
            m_refuseNext = false;
            throw std::runtime_error("Recording learner refused the job");
        }
        m_jobs.push_back(std::move(job));
    }

    void refuseNext() const { m_refuseNext = true; }
    size_t jobCount() const { return m_jobs.size(); }
    // The job received i-th (oldest first).
    const C_InputLineSnapshot& job(size_t i) const { return *m_jobs.at(i); }

    // The jobs received, oldest first; a test may take them out.
    mutable std::vector<std::unique_ptr<C_InputLineSnapshot>> m_jobs;

private:
    mutable bool m_refuseNext = false;
};

}  // namespace kov::test

// Jobs shared by the packing threads: handed out largest first, so that no
// thread starts a large one when the others are nearly done (only the order
// of the work changes with it), and counted on the progress bar, which one
// thread draws for all: the first that joins.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>
#include "tools/mksfx/progress_bar.h"

struct JobQueue {
    std::vector<size_t> order;      // job indices, largest first
    std::atomic<size_t> next;
    std::atomic<uint64_t> bytesDone;
    std::atomic<bool> reporterTaken;
    ProgressBar* progress;
};

// One thread's place in the queue.
struct JobTurn {
    bool reporter;
    uint64_t shown;                 // bytes this thread has put on the bar
};

// Empties the queue's counts for a new batch.
void ResetJobQueue(JobQueue& queue, ProgressBar* progress);
// The jobs first .. end-1 (records with a size), largest first; equal ones
// in index order.
template <typename Job>
void StartJobQueue(JobQueue& queue, const std::vector<Job>& jobs, size_t first, size_t end, ProgressBar* progress) {
    ResetJobQueue(queue, progress);
    for (size_t j = first; j < end; ++j) queue.order.push_back(j);
    std::stable_sort(queue.order.begin(), queue.order.end(),
                     [&](size_t a, size_t b) { return jobs[a].size > jobs[b].size; });
}
JobTurn JoinJobQueue(JobQueue& queue);
// The next job, false when none is left.
bool NextJob(JobQueue& queue, size_t* job);
// The reporter's label for the job it starts.
void ShowJob(JobQueue& queue, const JobTurn& turn, const std::string& label);
void JobDone(JobQueue& queue, JobTurn& turn, uint64_t bytes);
// At a thread's end: what the reporter has not shown yet stays in bytesDone
// (jobs other threads finished after its last one).
void LeaveJobQueue(JobQueue& queue, JobTurn& turn);
// After all threads: the rest onto the bar.
void EndJobQueue(JobQueue& queue);

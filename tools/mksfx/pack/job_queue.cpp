#include "tools/mksfx/pack/job_queue.h"

void ResetJobQueue(JobQueue& queue, ProgressBar* progress) {
    queue.order.clear();
    queue.next = 0;
    queue.bytesDone = 0;
    queue.reporterTaken = false;
    queue.progress = progress;
}

JobTurn JoinJobQueue(JobQueue& queue) {
    JobTurn turn;
    turn.reporter = queue.progress && !queue.reporterTaken.exchange(true);
    turn.shown = 0;
    return turn;
}

bool NextJob(JobQueue& queue, size_t* job) {
    size_t next = queue.next.fetch_add(1);
    if (next >= queue.order.size()) return false;
    *job = queue.order[next];
    return true;
}

void ShowJob(JobQueue& queue, const JobTurn& turn, const std::string& label) {
    if (turn.reporter) SetProgressLabel(*queue.progress, label);
}

void JobDone(JobQueue& queue, JobTurn& turn, uint64_t bytes) {
    uint64_t done = queue.bytesDone.fetch_add(bytes) + bytes;
    if (!turn.reporter) return;
    AdvanceProgress(*queue.progress, done - turn.shown);
    turn.shown = done;
}

void LeaveJobQueue(JobQueue& queue, JobTurn& turn) {
    if (turn.reporter) queue.bytesDone.fetch_sub(turn.shown);
}

void EndJobQueue(JobQueue& queue) {
    if (queue.progress) AdvanceProgress(*queue.progress, queue.bytesDone);
}

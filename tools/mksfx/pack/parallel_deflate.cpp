#include "tools/mksfx/pack/parallel_deflate.h"
#include "tools/mksfx/pack/deflate_pieces.h"
#include "tools/mksfx/pack/job_queue.h"
#include "tools/mksfx/input/entry_names.h"
#include "tools/mksfx/host/host_system.h"

#include <libdeflate.h>
#include <stdio.h>

namespace {

struct Batch {
    std::vector<PieceJob>* jobs;
    const std::vector<PackItem>* items;
    int level;
    JobQueue queue;
};

bool ReadPiece(const PackItem& item, const PieceJob& job, std::vector<uint8_t>& buffer, std::string* error) {
    FILE* file = fopen(item.sourcePath.c_str(), "rb");
    if (!file) {
        *error = item.sourcePath + ": cannot be opened for reading";
        return false;
    }
    buffer.resize(job.size);
    // Files stay below 2 GiB, so a long offset suffices everywhere.
    bool ok = fseek(file, long(job.offset), SEEK_SET) == 0 && fread(buffer.data(), 1, job.size, file) == job.size;
    if (!ok) *error = item.sourcePath + (ferror(file) ? ": read error" : ": became shorter while it was packed");
    fclose(file);
    return ok;
}

void RunJob(PieceJob& job, const PackItem& item, const PieceCompressors& compressors, std::vector<uint8_t>& buffer) {
    job.ok = false;
    if (!ReadPiece(item, job, buffer, &job.error)) return;
    job.crc = uint32_t(libdeflate_crc32(0, buffer.data(), job.size));
    if (!CompressPiece(compressors, buffer.data(), job.size, job.last, &job.data)) {
        job.error = item.sourcePath + ": libdeflate failed to compress it";
        return;
    }
    job.ok = true;
}

void Work(void* context) {
    Batch& batch = *static_cast<Batch*>(context);
    JobTurn turn = JoinJobQueue(batch.queue);
    PieceCompressors compressors;
    compressors.chosen = libdeflate_alloc_compressor(batch.level);
    compressors.fast = batch.level > 1 ? libdeflate_alloc_compressor(1) : nullptr;
    std::vector<uint8_t> buffer;
    // A thread that gets no memory for its compressors takes no pieces; the
    // others do its share (a piece nobody took is reported by the writer).
    bool ready = compressors.chosen && (compressors.fast || batch.level == 1);
    size_t next;
    while (ready && NextJob(batch.queue, &next)) {
        PieceJob& job = (*batch.jobs)[next];
        const PackItem& item = (*batch.items)[job.item];
        ShowJob(batch.queue, turn, ToUtf8(item.name));
        RunJob(job, item, compressors, buffer);
        JobDone(batch.queue, turn, job.size);
    }
    if (compressors.chosen) libdeflate_free_compressor(compressors.chosen);
    if (compressors.fast) libdeflate_free_compressor(compressors.fast);
    LeaveJobQueue(batch.queue, turn);
}

}  // namespace

std::vector<PieceJob> PlanPieces(const std::vector<PackItem>& items) {
    std::vector<PieceJob> jobs;
    for (size_t i = 0; i < items.size(); ++i) {
        const PackItem& item = items[i];
        if (item.isFolder || item.size == 0) continue;
        for (uint64_t offset = 0; offset < item.size; offset += PIECE_SIZE) {
            PieceJob job = {};
            job.item = i;
            job.offset = offset;
            job.size = uint32_t(item.size - offset < PIECE_SIZE ? item.size - offset : PIECE_SIZE);
            job.first = offset == 0;
            job.last = offset + job.size == item.size;
            jobs.push_back(job);
        }
    }
    return jobs;
}

void CompressJobs(std::vector<PieceJob>& jobs, size_t first, size_t end, const std::vector<PackItem>& items,
                  int level, int threads, ProgressBar* progress) {
    Batch batch;
    batch.jobs = &jobs;
    batch.items = &items;
    batch.level = level;
    StartJobQueue(batch.queue, jobs, first, end, progress);
    size_t count = end - first;
    RunOnThreads(int(count < size_t(threads) ? count : size_t(threads)), Work, &batch);
    EndJobQueue(batch.queue);
}

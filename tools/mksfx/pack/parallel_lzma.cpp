#include "tools/mksfx/pack/parallel_lzma.h"
#include "tools/mksfx/input/entry_names.h"
#include "tools/mksfx/host/host_system.h"

#include <libdeflate.h>
#include <stdio.h>
#include <algorithm>
#include <atomic>

namespace {

// Six fast trials on 64 KiB take about a seventh of the time the whole of
// a program file of 300 KB takes at the entry's settings; six strong ones
// on a 48th of a large file an eighth of its time.
const uint32_t LZMA_SAMPLE_FAST = 64u << 10;
const uint64_t LZMA_SAMPLE_SHARE = 48;
const uint32_t LZMA_SAMPLE_STRONG_MIN = 256u << 10;
const uint32_t LZMA_SAMPLE_STRONG_MAX = 1u << 20;
const size_t READ_CHUNK = 1u << 20;

// What the encoders of one batch may take together: a 32-bit program keeps
// to its address space (one encoder with the largest dictionary, or two of
// half its size), a 64-bit one to what machines have.
uint64_t EncoderBudget() { return sizeof(void*) == 4 ? (900ull << 20) : (8ull << 30); }

struct Batch {
    std::vector<LzmaJob>* jobs;
    const std::vector<PackItem>* items;
    std::vector<size_t> order;      // the jobs, largest first
    std::atomic<size_t> next;
    std::atomic<uint64_t> bytesDone;
    std::atomic<bool> reporterTaken;
    ProgressBar* progress;
};

bool ReadAt(FILE* file, const PackItem& item, uint64_t offset, uint8_t* buffer, size_t count, std::string* error) {
    // Files of a batch stay below 2 GiB, so a long offset suffices everywhere.
    if (fseek(file, long(offset), SEEK_SET) == 0 && fread(buffer, 1, count, file) == count) return true;
    *error = item.sourcePath + (ferror(file) ? ": read error" : ": became shorter while it was packed");
    return false;
}

// Compresses the whole file into job.data, unless it turns out no smaller.
void RunJob(LzmaJob& job, const PackItem& item) {
    job.ok = false;
    job.stored = false;
    LzmaContext context;
    if (!ChooseContextForFile(item, &context, &job.error)) return;
    FILE* file = fopen(item.sourcePath.c_str(), "rb");
    if (!file) {
        job.error = item.sourcePath + ": cannot be opened for reading";
        return;
    }
    LzmaEncoder encoder;
    std::vector<uint8_t> buffer(READ_CHUNK);
    job.data.clear();
    job.crc = 0;
    bool ok = LzmaEncoderStart(encoder, job.size, context, &job.data);
    if (!ok) job.error = item.sourcePath + ": out of memory for the LZMA encoder";
    for (uint64_t done = 0; ok && done < job.size;) {
        size_t count = job.size - done < READ_CHUNK ? size_t(job.size - done) : READ_CHUNK;
        ok = ReadAt(file, item, done, buffer.data(), count, &job.error);
        if (!ok) break;
        job.crc = uint32_t(libdeflate_crc32(job.crc, buffer.data(), count));
        done += count;
        ok = LzmaEncoderRun(encoder, buffer.data(), count, done == job.size, &job.data);
        if (!ok) job.error = item.sourcePath + ": liblzma failed to compress it";
        // Once the stream has reached the file's size, storing is smaller;
        // the rest of the file is read for its CRC only.
        if (ok && job.data.size() >= job.size) {
            LzmaEncoderEnd(encoder);
            std::vector<uint8_t>().swap(job.data);
            job.stored = true;
            while (ok && done < job.size) {
                count = job.size - done < READ_CHUNK ? size_t(job.size - done) : READ_CHUNK;
                ok = ReadAt(file, item, done, buffer.data(), count, &job.error);
                if (ok) job.crc = uint32_t(libdeflate_crc32(job.crc, buffer.data(), count));
                done += count;
            }
        }
    }
    LzmaEncoderEnd(encoder);
    fclose(file);
    if (!ok) std::vector<uint8_t>().swap(job.data);
    job.ok = ok;
}

void Work(void* context) {
    Batch& batch = *static_cast<Batch*>(context);
    // One thread at a time draws the progress bar: the first that comes here.
    bool reporter = batch.progress && !batch.reporterTaken.exchange(true);
    uint64_t shown = 0;
    for (;;) {
        size_t next = batch.next.fetch_add(1);
        if (next >= batch.order.size()) break;
        LzmaJob& job = (*batch.jobs)[batch.order[next]];
        const PackItem& item = (*batch.items)[job.item];
        if (reporter) SetProgressLabel(*batch.progress, ToUtf8(item.name));
        RunJob(job, item);
        uint64_t done = batch.bytesDone.fetch_add(job.size) + job.size;
        if (reporter) {
            AdvanceProgress(*batch.progress, done - shown);
            shown = done;
        }
    }
    if (reporter) batch.bytesDone.fetch_sub(shown);
}

}  // namespace

uint64_t LzmaBatchBytes() { return sizeof(void*) == 4 ? (128ull << 20) : (512ull << 20); }

std::vector<LzmaJob> PlanLzmaJobs(const std::vector<PackItem>& items) {
    std::vector<LzmaJob> jobs;
    for (size_t i = 0; i < items.size(); ++i) {
        const PackItem& item = items[i];
        if (item.isFolder || item.size == 0 || item.size > LzmaBatchBytes()) continue;
        LzmaJob job = {};
        job.item = i;
        job.size = item.size;
        jobs.push_back(job);
    }
    return jobs;
}

void LzmaSampleSpan(uint64_t fileSize, uint64_t* offset, uint32_t* size, LzmaTrial* trial) {
    uint64_t share = fileSize / LZMA_SAMPLE_SHARE;
    if (share >= LZMA_SAMPLE_STRONG_MIN) {
        *size = share < LZMA_SAMPLE_STRONG_MAX ? uint32_t(share) : LZMA_SAMPLE_STRONG_MAX;
        *trial = LZMA_TRIAL_STRONG;
    } else {
        *size = fileSize < LZMA_SAMPLE_FAST ? uint32_t(fileSize) : LZMA_SAMPLE_FAST;
        *trial = LZMA_TRIAL_FAST;
    }
    *offset = (fileSize - *size) / 2;
}

bool ChooseContextForFile(const PackItem& item, LzmaContext* context, std::string* error) {
    uint64_t offset;
    uint32_t size;
    LzmaTrial trial;
    LzmaSampleSpan(item.size, &offset, &size, &trial);
    FILE* file = fopen(item.sourcePath.c_str(), "rb");
    if (!file) {
        *error = item.sourcePath + ": cannot be opened for reading";
        return false;
    }
    std::vector<uint8_t> sample(size);
#ifdef _WIN32
    bool placed = _fseeki64(file, int64_t(offset), SEEK_SET) == 0;
#else
    bool placed = fseeko(file, off_t(offset), SEEK_SET) == 0;
#endif
    bool ok = placed && fread(sample.data(), 1, size, file) == size;
    if (!ok) *error = item.sourcePath + (ferror(file) ? ": read error" : ": became shorter while it was packed");
    fclose(file);
    if (ok) *context = ChooseLzmaContext(sample.data(), size, trial);
    return ok;
}

void CompressLzmaJobs(std::vector<LzmaJob>& jobs, size_t first, size_t end, const std::vector<PackItem>& items,
                      int threads, ProgressBar* progress) {
    Batch batch;
    batch.jobs = &jobs;
    batch.items = &items;
    // Largest files first, so that no thread starts a large one when the
    // others are nearly done. Only the order of the work changes with it.
    for (size_t j = first; j < end; ++j) batch.order.push_back(j);
    std::stable_sort(batch.order.begin(), batch.order.end(),
                     [&](size_t a, size_t b) { return jobs[a].size > jobs[b].size; });
    batch.next = 0;
    batch.bytesDone = 0;
    batch.reporterTaken = false;
    batch.progress = progress;
    size_t count = end - first;
    if (count == 0) return;
    // As many encoders at once as the largest dictionary of the batch lets
    // into the budget, and at least one.
    uint64_t memory = LzmaEncoderMemory(jobs[batch.order[0]].size);
    uint64_t fit = memory ? EncoderBudget() / memory : 1;
    if (fit < 1) fit = 1;
    uint64_t running = std::min<uint64_t>({uint64_t(threads), uint64_t(count), fit});
    RunOnThreads(int(running), Work, &batch);
    if (progress) AdvanceProgress(*progress, batch.bytesDone);
}

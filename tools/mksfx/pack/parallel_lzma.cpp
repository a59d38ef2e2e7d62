#include "tools/mksfx/pack/parallel_lzma.h"
#include "tools/mksfx/pack/job_queue.h"
#include "tools/mksfx/pack/lzma_match_source.h"
#include "tools/mksfx/input/entry_names.h"
#include "tools/mksfx/host/host_system.h"

#include <libdeflate.h>
#include <stdio.h>
#include <algorithm>
#include <atomic>

namespace {

// Two fast trials on 64 KiB take about a twentieth of the time the whole of
// a program file of 300 KB takes at the entry's settings; six strong ones
// on a 48th of a large file, over matches found once (lzma_encoder.cpp),
// took 5 s of the bench corpus's 79 s of CPU time before they shared them.
const uint32_t LZMA_SAMPLE_FAST = 64u << 10;
const uint64_t LZMA_SAMPLE_SHARE = 48;
const uint32_t LZMA_SAMPLE_STRONG_MIN = 256u << 10;
const uint32_t LZMA_SAMPLE_STRONG_MAX = 1u << 20;
const size_t READ_CHUNK = 1u << 20;
// A file from this size on has its match finder on a thread of its own
// when it would otherwise keep a core waiting at the end: when it is larger
// than what the other threads have left to do (a large file alone, or
// beside small ones). Alone it then takes 0.7 to 0.85 of the time it takes
// on one thread (the match finder has the larger share). Where the other threads
// have enough to do, one thread per file is faster: two files' threads
// taking turns on one core cost a tenth more time than one file's.
const uint64_t LZMA_MATCH_THREAD_MIN = 1u << 20;

// The match finders' own threads: only where the memory is plenty, since
// each takes the tables of a second match finder and the whole file.
bool MatchThreadsFor(int threads) { return threads > 1 && sizeof(void*) == 8; }

// What the encoders of one batch may take together: a 32-bit program keeps
// to its address space (one encoder with the largest dictionary, or two of
// half its size), a 64-bit one to what machines have.
uint64_t EncoderBudget() { return sizeof(void*) == 4 ? (900ull << 20) : (8ull << 30); }

struct Batch {
    std::vector<LzmaJob>* jobs;
    const std::vector<PackItem>* items;
    JobQueue queue;
    int threads;
    bool matchThreads;              // match finders may have threads of their own
    std::atomic<uint64_t> unfinished;   // bytes of the jobs not finished yet
};

bool WantsMatchThread(const Batch& batch, const LzmaJob& job) {
    if (!batch.matchThreads || job.size < LZMA_MATCH_THREAD_MIN) return false;
    uint64_t others = batch.unfinished.load() - job.size;
    return job.size * uint64_t(batch.threads - 1) > others;
}

bool ReadAt(FILE* file, const PackItem& item, uint64_t offset, uint8_t* buffer, size_t count, std::string* error) {
    // Files of a batch stay below 2 GiB, so a long offset suffices everywhere.
    if (fseek(file, long(offset), SEEK_SET) == 0 && fread(buffer, 1, count, file) == count) return true;
    *error = item.sourcePath + (ferror(file) ? ": read error" : ": became shorter while it was packed");
    return false;
}

// Reads count bytes from offset on into buffer and adds them to the CRC.
bool ReadPiece(FILE* file, const PackItem& item, uint64_t offset, uint8_t* buffer, size_t count, uint32_t* crc,
               std::string* error) {
    if (!ReadAt(file, item, offset, buffer, count, error)) return false;
    *crc = uint32_t(libdeflate_crc32(*crc, buffer, count));
    return true;
}

// Compresses the whole file into job.data, unless it turns out no smaller.
// A file below the strong trials' size is read whole and compressed with
// both whole-file contexts; a larger one with the context its trials chose,
// read whole first when its match finder has a thread of its own, else
// piece by piece as it is compressed.
void RunJob(LzmaJob& job, const PackItem& item, bool matchThread) {
    job.ok = false;
    job.stored = false;
    LzmaContext context;
    bool incompressible;
    if (!ChooseContextForFile(item, &context, &incompressible, &job.error)) return;
    FILE* file = fopen(item.sourcePath.c_str(), "rb");
    if (!file) {
        job.error = item.sourcePath + ": cannot be opened for reading";
        return;
    }
    job.data.clear();
    job.crc = 0;
    uint64_t sampleOffset;
    uint32_t sampleSize;
    LzmaTrial trial;
    LzmaSampleSpan(job.size, &sampleOffset, &sampleSize, &trial);
    bool wholeFile = trial == LZMA_TRIAL_FAST;
    // Stored without a try: the rest of the function reads it for its CRC.
    job.stored = incompressible;
    bool inMemory = (matchThread || wholeFile) && !job.stored;
    bool ok = true;
    std::vector<uint8_t> whole;
    std::vector<uint8_t> buffer;
    if (inMemory) {
        whole.resize(size_t(job.size) + LZMA_MATCH_PADDING);
        for (uint64_t done = 0; ok && done < job.size; done += READ_CHUNK) {
            size_t count = job.size - done < READ_CHUNK ? size_t(job.size - done) : READ_CHUNK;
            ok = ReadPiece(file, item, done, whole.data() + done, count, &job.crc, &job.error);
        }
    } else {
        buffer.resize(READ_CHUNK);
    }
    if (ok && !job.stored && wholeFile) {
        ok = LzmaEncodeSmaller(whole.data(), size_t(job.size), LZMA_WHOLE_FILE_CONTEXTS,
                               sizeof LZMA_WHOLE_FILE_CONTEXTS / sizeof LZMA_WHOLE_FILE_CONTEXTS[0], &job.data);
        if (!ok) job.error = item.sourcePath + ": liblzma failed to compress it";
        job.stored = ok && job.data.size() >= job.size;
        if (job.stored) std::vector<uint8_t>().swap(job.data);
    }
    LzmaEncoder encoder;
    if (ok && !job.stored && !wholeFile && !LzmaEncoderStart(encoder, job.size, context, &job.data, inMemory ? whole.data() : nullptr)) {
        job.error = item.sourcePath + ": out of memory for the LZMA encoder";
        ok = false;
    }
    uint64_t done = wholeFile && inMemory ? job.size : 0;
    while (ok && !job.stored && done < job.size) {
        size_t count = job.size - done < READ_CHUNK ? size_t(job.size - done) : READ_CHUNK;
        const uint8_t* piece = inMemory ? whole.data() + done : buffer.data();
        if (!inMemory) ok = ReadPiece(file, item, done, buffer.data(), count, &job.crc, &job.error);
        done += count;
        if (ok) ok = LzmaEncoderRun(encoder, piece, count, done == job.size, &job.data);
        if (!ok && job.error.empty()) job.error = item.sourcePath + ": liblzma failed to compress it";
        // Once the stream has reached the file's size, storing is smaller.
        if (ok && job.data.size() >= job.size) {
            LzmaEncoderEnd(encoder);
            std::vector<uint8_t>().swap(job.data);
            job.stored = true;
        }
    }
    // The rest of a file stored early is read for its CRC only (a file read
    // whole has its CRC already).
    for (; ok && !inMemory && done < job.size; done += READ_CHUNK) {
        size_t count = job.size - done < READ_CHUNK ? size_t(job.size - done) : READ_CHUNK;
        ok = ReadPiece(file, item, done, buffer.data(), count, &job.crc, &job.error);
    }
    LzmaEncoderEnd(encoder);
    fclose(file);
    if (!ok) std::vector<uint8_t>().swap(job.data);
    job.ok = ok;
}

void Work(void* context) {
    Batch& batch = *static_cast<Batch*>(context);
    JobTurn turn = JoinJobQueue(batch.queue);
    size_t next;
    while (NextJob(batch.queue, &next)) {
        LzmaJob& job = (*batch.jobs)[next];
        const PackItem& item = (*batch.items)[job.item];
        ShowJob(batch.queue, turn, ToUtf8(item.name));
        RunJob(job, item, WantsMatchThread(batch, job));
        batch.unfinished.fetch_sub(job.size);
        JobDone(batch.queue, turn, job.size);
    }
    LeaveJobQueue(batch.queue, turn);
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

namespace {

bool ReadSpan(FILE* file, const PackItem& item, uint64_t offset, std::vector<uint8_t>* span, std::string* error) {
#ifdef _WIN32
    bool placed = _fseeki64(file, int64_t(offset), SEEK_SET) == 0;
#else
    bool placed = fseeko(file, off_t(offset), SEEK_SET) == 0;
#endif
    if (placed && fread(span->data(), 1, span->size(), file) == span->size()) return true;
    *error = item.sourcePath + (ferror(file) ? ": read error" : ": became shorter while it was packed");
    return false;
}

}  // namespace

bool ChooseContextForFile(const PackItem& item, LzmaContext* context, bool* incompressible, std::string* error) {
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
    bool ok = ReadSpan(file, item, offset, &sample, error);
    sample.resize(size + LZMA_MATCH_PADDING);
    size_t streamSize = 0;
    if (ok) *context = ChooseLzmaContext(sample.data(), size, trial, &streamSize);
    if (incompressible) *incompressible = false;
    // Packed data (archives, pictures, installers' payloads) does not
    // shrink at all; the file's start, where programs and documents keep
    // their headers and code, is tried too before the file is stored.
    if (ok && incompressible && streamSize >= size) {
        size_t length = item.size < LZMA_SAMPLE_FAST ? size_t(item.size) : LZMA_SAMPLE_FAST;
        std::vector<uint8_t> head(length);
        ok = offset == 0 || ReadSpan(file, item, 0, &head, error);
        if (offset == 0) head.assign(sample.begin(), sample.begin() + length);
        head.resize(length + LZMA_MATCH_PADDING);
        size_t headSize = 0;
        if (ok) ChooseLzmaContext(head.data(), length, LZMA_TRIAL_FAST, &headSize);
        *incompressible = ok && headSize >= length;
    }
    fclose(file);
    return ok;
}

void CompressLzmaJobs(std::vector<LzmaJob>& jobs, size_t first, size_t end, const std::vector<PackItem>& items,
                      int threads, ProgressBar* progress) {
    Batch batch;
    batch.jobs = &jobs;
    batch.items = &items;
    StartJobQueue(batch.queue, jobs, first, end, progress);
    batch.threads = threads;
    batch.matchThreads = MatchThreadsFor(threads);
    batch.unfinished = 0;
    for (size_t j = first; j < end; ++j) batch.unfinished += jobs[j].size;
    size_t count = end - first;
    if (count == 0) return;
    // As many encoders at once as the largest dictionary of the batch lets
    // into the budget, and at least one.
    uint64_t largest = jobs[batch.queue.order[0]].size;
    uint64_t memory = LzmaEncoderMemory(largest);
    if (batch.matchThreads && largest >= LZMA_MATCH_THREAD_MIN) memory = 2 * memory + largest;
    uint64_t fit = memory ? EncoderBudget() / memory : 1;
    if (fit < 1) fit = 1;
    // One file more than threads: the last large files of a batch, taking
    // turns on the cores, finish about together instead of one after the
    // other on one core (three files of 20 s on two cores: 30 s, not 40).
    uint64_t wanted = threads > 1 ? uint64_t(threads) + 1 : 1;
    uint64_t running = std::min<uint64_t>({wanted, uint64_t(count), fit});
    RunOnThreads(int(running), Work, &batch);
    EndJobQueue(batch.queue);
}

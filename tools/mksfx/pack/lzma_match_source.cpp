#include "tools/mksfx/pack/lzma_match_source.h"
#include "tools/mksfx/host/host_system.h"

#include <string.h>
#include <new>

namespace {

// The finder fills blocks of positions in a ring and the encoder empties
// them; the two meet at the latch once per block (a few milliseconds of
// work), never per position. A block holds each position's number of
// matches and the matches one after another; it ends early when the next
// position's matches might not fit.
const uint32_t BLOCK_POSITIONS = 1u << 15;
const uint32_t BLOCK_MATCHES = 1u << 18;
const uint32_t RING_BLOCKS = 4;
// The most matches one position can have: one per length up to liblzma's
// longest match.
const uint32_t MATCHES_MAX = 273;
const int FINDER_SIDE = 0;
const int ENCODER_SIDE = 1;

struct MatchBlock {
    uint32_t positions;
    uint16_t counts[BLOCK_POSITIONS];
    lzma_match matches[BLOCK_MATCHES];
};

}  // namespace

struct LzmaMatchThread {
    lzma_mf* finder;
    uint32_t size;              // positions in all
    MatchBlock* ring;
    HostLatch latch;
    HostThread thread;
    lzma_match_source source;
    // Under the latch.
    uint64_t filled;            // blocks the finder has filled
    uint64_t taken;             // blocks the encoder is through with
    bool finderDone;
    bool stop;
    // The encoder's own.
    const MatchBlock* current;
    uint32_t index;             // the next position in the current block
    uint32_t matchIndex;        // its first match
};

namespace {

void Find(void* context) {
    LzmaMatchThread& t = *static_cast<LzmaMatchThread*>(context);
    uint32_t position = 0;
    while (position < t.size) {
        LatchLock(&t.latch);
        while (!t.stop && t.filled - t.taken == RING_BLOCKS) LatchWait(&t.latch, FINDER_SIDE);
        bool stop = t.stop;
        MatchBlock& block = t.ring[t.filled % RING_BLOCKS];
        LatchUnlock(&t.latch);
        if (stop) break;
        uint32_t n = 0, m = 0;
        for (; n < BLOCK_POSITIONS && position < t.size && m + MATCHES_MAX <= BLOCK_MATCHES; ++n, ++position) {
            uint32_t count = lzma_mf_scan_next(t.finder, block.matches + m);
            block.counts[n] = uint16_t(count);
            m += count;
        }
        block.positions = n;
        LatchLock(&t.latch);
        ++t.filled;
        LatchWake(&t.latch, ENCODER_SIDE);
        LatchUnlock(&t.latch);
    }
    LatchLock(&t.latch);
    t.finderDone = true;
    LatchWake(&t.latch, ENCODER_SIDE);
    LatchUnlock(&t.latch);
}

// Makes the current block one with a position left: false past the last
// position, which an encoder fed the same data never asks for.
bool NextPosition(LzmaMatchThread& t) {
    if (t.current && t.index < t.current->positions) return true;
    LatchLock(&t.latch);
    if (t.current) {
        ++t.taken;
        t.current = nullptr;
        LatchWake(&t.latch, FINDER_SIDE);
    }
    while (t.filled == t.taken && !t.finderDone) LatchWait(&t.latch, ENCODER_SIDE);
    if (t.filled != t.taken) t.current = &t.ring[t.taken % RING_BLOCKS];
    LatchUnlock(&t.latch);
    t.index = 0;
    t.matchIndex = 0;
    return t.current && t.current->positions != 0;
}

uint32_t SourceFind(void* context, lzma_match* matches) {
    LzmaMatchThread& t = *static_cast<LzmaMatchThread*>(context);
    if (!NextPosition(t)) return 0;
    uint32_t count = t.current->counts[t.index++];
    memcpy(matches, t.current->matches + t.matchIndex, count * sizeof(lzma_match));
    t.matchIndex += count;
    return count;
}

void SourceSkip(void* context, uint32_t amount) {
    LzmaMatchThread& t = *static_cast<LzmaMatchThread*>(context);
    while (amount > 0 && NextPosition(t)) {
        uint32_t n = t.current->positions - t.index;
        if (n > amount) n = amount;
        for (uint32_t i = 0; i < n; ++i) t.matchIndex += t.current->counts[t.index++];
        amount -= n;
    }
}

void Free(LzmaMatchThread* t) {
    lzma_mf_scan_free(t->finder);
    delete[] t->ring;
    LatchEnd(&t->latch);
    delete t;
}

}  // namespace

LzmaMatchThread* StartLzmaMatchThread(const lzma_options_lzma& options, const uint8_t* data, size_t size) {
    if (size >= UINT32_MAX / 2 || options.mf != LZMA_MF_BT4) return nullptr;
    LzmaMatchThread* t = new LzmaMatchThread();
    t->size = uint32_t(size);
    t->finder = lzma_mf_scan_new(&options, data, uint32_t(size));
    t->ring = new (std::nothrow) MatchBlock[RING_BLOCKS];
    if (!t->finder || !t->ring || !LatchInit(&t->latch)) {
        Free(t);
        return nullptr;
    }
    t->source.context = t;
    t->source.find = SourceFind;
    t->source.skip = SourceSkip;
    if (!StartThread(&t->thread, Find, t)) {
        Free(t);
        return nullptr;
    }
    return t;
}

const lzma_match_source* LzmaMatchSource(LzmaMatchThread* thread) { return &thread->source; }

void EndLzmaMatchThread(LzmaMatchThread* t) {
    if (!t) return;
    LatchLock(&t->latch);
    t->stop = true;
    LatchWake(&t->latch, FINDER_SIDE);
    LatchUnlock(&t->latch);
    JoinThread(&t->thread);
    Free(t);
}

bool RecordLzmaMatches(const lzma_options_lzma& options, const uint8_t* data, size_t size, size_t limit,
                       LzmaRecordedMatches* recorded) {
    recorded->counts.clear();
    recorded->matches.clear();
    if (size >= UINT32_MAX / 2 || options.mf != LZMA_MF_BT4) return false;
    lzma_mf* finder = lzma_mf_scan_new(&options, data, uint32_t(size));
    if (!finder) return false;
    recorded->counts.resize(size);
    recorded->matches.reserve(4 * size < limit ? 4 * size : limit);
    lzma_match found[MATCHES_MAX];
    bool ok = true;
    for (size_t i = 0; i < size && ok; ++i) {
        uint32_t count = lzma_mf_scan_next(finder, found);
        recorded->counts[i] = uint16_t(count);
        ok = recorded->matches.size() + count <= limit;
        if (ok) recorded->matches.insert(recorded->matches.end(), found, found + count);
    }
    lzma_mf_scan_free(finder);
    if (!ok) {
        std::vector<uint16_t>().swap(recorded->counts);
        std::vector<lzma_match>().swap(recorded->matches);
    }
    return ok;
}

namespace {

uint32_t ReplayFind(void* context, lzma_match* matches) {
    LzmaReplay& r = *static_cast<LzmaReplay*>(context);
    if (r.position >= r.recorded->counts.size()) return 0;
    uint32_t count = r.recorded->counts[r.position++];
    memcpy(matches, r.recorded->matches.data() + r.match, count * sizeof(lzma_match));
    r.match += count;
    return count;
}

void ReplaySkip(void* context, uint32_t amount) {
    LzmaReplay& r = *static_cast<LzmaReplay*>(context);
    for (; amount > 0 && r.position < r.recorded->counts.size(); --amount) r.match += r.recorded->counts[r.position++];
}

}  // namespace

void StartLzmaReplay(LzmaReplay* replay, const LzmaRecordedMatches& recorded) {
    replay->recorded = &recorded;
    replay->position = 0;
    replay->match = 0;
    replay->source.context = replay;
    replay->source.find = ReplayFind;
    replay->source.skip = ReplaySkip;
}

// CompressStreamParallel: one stream coded in parts on several threads.
//
// The token at a position depends only on the position and the input (from SecondBlockReach on), never on
// how the parse got there: after a match the coding resumes at its end with a fresh search, and the
// look-ahead is a search at the next position. So a part may start its parse at a guessed position;
// wherever the previous part's parse starts a token at which this one also starts a token, the two
// parses agree from there on. The previous part stops there, and this part's bits are taken from there.
// Since any start will do, a thread that finishes its part early cuts the part with the most left in two
// and codes the second half itself.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <thread>

#include "compress/compress_stream.hpp"
#include "compress/stream_coder.hpp"

namespace bxa {

using namespace compress_detail;

namespace {

// Input coded per thread and segment. Each thread's work area holds this much input and its parts' bits,
// at worst 14 per input byte, so this bounds the memory per thread.
constexpr uint32_t PartBytes = 512 * 1024;
// The previous part's parse must meet this part's within this many bytes after its start (parses that
// meet at all usually do within a few tokens); parts at least four times as long keep the re-coding of a
// part that is not met cheap beside the part.
constexpr uint32_t MeetWindow = 4 * 1024;
constexpr uint32_t MinPartBytes = 4 * MeetWindow;
static_assert(MinPartBytes >= SecondBlockReach, "a guessed start must lie past the second block's index rule");
// A part codes at most its share of the segment (which may run a look-ahead past PartBytes in the last
// segment), the continuation until the next part is met, and a last match past that.
constexpr uint32_t PartOverrun = MeetWindow + 2 * LookAhead + 2;
// Bytes of output a part of `length` bytes may need.
constexpr uint64_t outputBytesFor(uint64_t length) {
    return ((length + PartOverrun) * MaxBitsPerInputByte + 7) / 8 + BitSlack;
}
constexpr uint32_t PartOutputBytes = outputBytesFor(PartBytes);
constexpr uint32_t NeverFlush = UINT32_MAX;
// A part codes its range in steps of this many bytes, and may be cut short between steps: a thread that
// has finished its part takes the second half of what the slowest part has left, so that the threads of a
// segment finish together. Only what lies at least a step (and the longest match it may end in) ahead of
// a part may be taken, and only in pieces of MinPartBytes or more.
constexpr uint32_t StepBytes = 4096;
constexpr uint32_t StealMargin = StepBytes + 2 * LookAhead + 2;
static_assert(MeetWindow + StealMargin >= SecondBlockReach,
              "a part taken over starts past the second block's index rule");
// The parts one thread codes in a segment: its own and those it takes over.
constexpr uint32_t PartsPerThread = 4;

// A token that starts in the first MeetWindow bytes of a part: its input position less the part's start in
// the low OffsetBits, and the bits the part had coded before it above them (at most MaxBitsPerInputByte
// for each byte before it).
constexpr uint32_t OffsetBits = 14;
static_assert(MeetWindow <= (1u << OffsetBits) &&
                  uint64_t{MeetWindow} * MaxBitsPerInputByte <= (uint64_t{1} << (32 - OffsetBits)),
              "a token start must fit one word");

struct TokenStart {
    uint32_t packed;

    TokenStart(uint32_t offset, uint64_t bit) : packed(offset | static_cast<uint32_t>(bit) << OffsetBits) {}
    uint32_t offset() const { return packed & ((1u << OffsetBits) - 1); }
    uint32_t bit() const { return packed >> OffsetBits; }
};

struct PartArea;

// One part of a segment's parse. The parts of a segment form a list in input order; each part's bits are
// right from where the part before it met it. Fields marked "guarded" change under the segment's mutex
// while the parts are coded.
struct Part {
    uint64_t start;       // input position of the part's first token
    uint64_t nominalEnd;  // guarded: the next part's start, or the segment's coding end
    uint64_t progress;    // guarded: no token of the part starts StealMargin or more past this
    Part* next;           // guarded: the next part in input order
    bool done;            // guarded: the part has coded its range, which can no longer be cut
    bool headReady;       // guarded: `starts` is complete
    bool finished;        // guarded: the outcome below is written
    PartArea* area;       // of the thread that codes the part
    // The tokens that start in the first MeetWindow bytes, in order (none for the segment's first part).
    TokenStart* starts;
    uint32_t startCount;
    // The part's bits (of PartOverrun bytes past its range at worst), with BitSlack readable bytes past them.
    uint8_t* output;
    // Outcome, written by the part's thread before it sets `finished`:
    bool met;             // the part met `next` at token starts[metIndex] of it
    uint32_t metIndex;
    uint64_t endBit;      // the part's bits end here (at the meet, or at the segment's end for the last part)
    uint64_t endPosition; // the last part: where its parse ended
    // The part passed the next part's first tokens without meeting them: its thread kept its coder and
    // cursor as they were, for the join to go on with.
    bool kept;
};

// A thread's part work area: its coder, the parts it codes and their bits, and its slice of the
// segment's input.
struct PartArea {
    Coder coder;
    Cursor cursor;
    uint32_t partCount;
    uint32_t outputUsed;  // bytes of `output` that hold the bits of parts finished in this segment
    Part parts[PartsPerThread];
    TokenStart starts[PartsPerThread][MeetWindow];
    uint8_t output[PartOutputBytes];
    uint8_t slice[PartBytes];
};

// The input of one segment with the window history before it: the bytes before input position `start`
// in `history`, and from `start` on in the slices, PartBytes to each. Parts read it concurrently and
// nobody writes it while they run.
struct SegmentInput {
    const uint8_t* history;  // input positions start - HistoryBytes up to start
    const uint8_t* slices[MaxCompressThreads];
    uint64_t start;
    uint64_t available;  // input position just past the bytes of the segment
};

// Every read reaches at most HistoryBytes before the segment: a part starts at least 516 bytes before it,
// and the window of its block begins HistoryBytes before the block.
uint32_t copyFromSegment(uint8_t* destination, uint64_t from, uint32_t size, void* context) {
    const auto& input = *static_cast<const SegmentInput*>(context);
    if (from >= input.available) return 0;
    const auto count = static_cast<uint32_t>(std::min<uint64_t>(size, input.available - from));
    const uint64_t end = from + count;
    if (from < input.start) {
        const uint64_t stop = std::min(end, input.start);
        std::memcpy(destination, input.history + (from + HistoryBytes - input.start), stop - from);
        destination += stop - from;
        from = stop;
    }
    while (from < end) {
        const uint64_t offset = from - input.start;
        const uint64_t within = offset % PartBytes;
        const uint64_t piece = std::min<uint64_t>(end - from, PartBytes - within);
        std::memcpy(destination, input.slices[offset / PartBytes] + within, piece);
        destination += piece;
        from += piece;
    }
    return count;
}

static_assert(alignof(PartArea) <= alignof(std::max_align_t), "work areas come from operator new[]");

struct SharedState {
    TokenWriter streamCoder;  // parameters and end symbol of the stream
    uint8_t output[OutputChunkSize + BitSlack];
    uint8_t history[HistoryBytes];  // the input before the current segment
};

// CompressStreamParallel's work area: the shared state, then one part area per thread, at max_align_t
// boundaries.
constexpr size_t alignUp(size_t size) {
    return (size + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
}
constexpr size_t SharedBytes = alignUp(sizeof(SharedState));
constexpr size_t PartAreaBytes = alignUp(sizeof(PartArea));

unsigned clampThreads(unsigned threadCount) { return std::clamp(threadCount, 1u, MaxCompressThreads); }

// ---- parts --------------------------------------------------------------------------------------------

struct Segment {
    SegmentInput input;
    uint64_t inputSize;  // the input's length when this is the last segment, else UINT64_MAX
    bool first;          // the segment starts the input
    // Part 0 goes on with the parse of the previous segment, which it coded alone: its window and indexes
    // hold everything a fresh start would rebuild (a segment coded on one thread thus costs what the coder
    // on one thread does).
    bool continued;
    PartArea* areas[MaxCompressThreads];  // of the threads that code parts, area 0 the calling thread's
    unsigned threadCount;
    std::mutex mutex;
    std::condition_variable changed;  // a part's head is ready, or a part has finished

    // Waits until `ready` (which reads guarded fields) holds.
    template <typename Ready>
    void waitUntil(Ready ready) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, ready);
    }
};

// Opens the next part of `area`, for input positions from `start` up to `end`, followed by `next`; its bits
// go after those of the area's parts finished before it. Every part but the segment's first keeps its
// first MeetWindow bytes, where the part before it meets it, from being taken over.
Part& openPart(PartArea& area, uint64_t start, uint64_t end, Part* next, bool first) {
    Part& part = area.parts[area.partCount];
    part = Part{};
    part.start = start;
    part.nominalEnd = end;
    part.progress = first ? start : start + MeetWindow;
    part.next = next;
    part.area = &area;
    part.starts = area.starts[area.partCount];
    part.output = area.output + area.outputUsed;
    ++area.partCount;
    return part;
}

// Continues a parse that is right (in `coder`) token by token until it starts a token where `next` also
// starts one; returns that token's index in next.starts, or next.startCount when the parse passes the
// recorded tokens without meeting them (it then stops at a token start past them).
uint32_t meetNext(SegmentInput& input, Coder& coder, Cursor& cursor, const Part& next) {
    uint32_t index = 0;
    for (;;) {
        const uint64_t position = inputPosition(cursor);
        if (cursor.finished || position >= next.start + MeetWindow) return next.startCount;
        const uint64_t offset = position - next.start;
        while (index < next.startCount && next.starts[index].offset() < offset) ++index;
        if (index == next.startCount) return index;
        if (next.starts[index].offset() == offset) return index;
        codeUntil(coder, cursor, position + 1, copyFromSegment, &input);
    }
}

// Codes `part` in `area`, into the writer of the area's coder: records where its first tokens start (every
// part but the segment's first) and codes its range step by step, as long as the range is when each step
// begins. Returns the next part.
Part* codePart(Segment& segment, PartArea& area, Part& part, bool first) {
    Coder& coder = area.coder;
    Cursor& cursor = area.cursor;
    void* context = &segment.input;
    part.startCount = 0;
    // A continued first part keeps its cursor where the previous segment's parse ended, and reads on from
    // here.
    if (first && segment.first) {
        startAtBeginning(coder, cursor, copyFromSegment, context);
    } else if (!first || !segment.continued) {
        startAt(coder, cursor, part.start, first, segment.inputSize, copyFromSegment, context);
    }
    if (!first) {
        for (uint64_t position = part.start; !cursor.finished && position < part.start + MeetWindow;
             position = inputPosition(cursor)) {
            part.starts[part.startCount++] =
                TokenStart(static_cast<uint32_t>(position - part.start), coder.writer.bitCount());
            codeUntil(coder, cursor, position + 1, copyFromSegment, context);
        }
        {
            std::lock_guard<std::mutex> lock(segment.mutex);
            part.headReady = true;
        }
        segment.changed.notify_all();
    }
    for (;;) {
        const uint64_t position = inputPosition(cursor);
        uint64_t end;
        {
            std::lock_guard<std::mutex> lock(segment.mutex);
            part.progress = position;
            end = part.nominalEnd;
            if (cursor.finished || position >= end) {
                part.done = true;
                return part.next;
            }
        }
        codeUntil(coder, cursor, std::min(end, position + StepBytes), copyFromSegment, context);
    }
}

// Ends a part that has coded its range: meets the next part, or, for the last, notes where it ended.
// Returns false when the part passed the next one's first tokens without meeting them; the area's coder
// then stays as it is, for the join.
bool finishPart(Segment& segment, PartArea& area, Part& part, Part* next) {
    Coder& coder = area.coder;
    if (next != nullptr) {
        segment.waitUntil([next] { return next->headReady; });
        const uint32_t met = meetNext(segment.input, coder, area.cursor, *next);
        part.kept = met == next->startCount;
        part.met = !part.kept;
        part.metIndex = met;
    } else {
        part.endPosition = inputPosition(area.cursor);
    }
    if (!part.kept) {
        spillBits(coder.writer);
        part.endBit = coder.writer.bitCount();
        // The next part's bits start past this one's partly filled byte (and the rest of its word).
        area.outputUsed = static_cast<uint32_t>(part.output - area.output) + coder.writer.count + 8;
    }
    {
        std::lock_guard<std::mutex> lock(segment.mutex);
        part.finished = true;
    }
    segment.changed.notify_all();
    return !part.kept;
}

// Takes the second half of what the part with the most left has left, as a new part of `area`; null when
// no part has enough left, or the area no room for it.
Part* takeOver(Segment& segment, PartArea& area) {
    if (area.partCount == PartsPerThread) return nullptr;
    const uint64_t room = PartOutputBytes - std::min<uint64_t>(area.outputUsed, PartOutputBytes);
    if (room < outputBytesFor(MinPartBytes)) return nullptr;
    const uint64_t most = (room - BitSlack) * 8 / MaxBitsPerInputByte - PartOverrun;
    std::lock_guard<std::mutex> lock(segment.mutex);
    Part* victim = nullptr;
    uint64_t left = 0;
    for (Part* part = &segment.areas[0]->parts[0]; part != nullptr; part = part->next) {
        const uint64_t from = std::max(part->progress + StealMargin, part->start + MeetWindow + StealMargin);
        if (!part->done && part->nominalEnd > from && part->nominalEnd - from > left) {
            victim = part;
            left = part->nominalEnd - from;
        }
    }
    if (victim == nullptr || left < 2 * MinPartBytes) return nullptr;
    const uint64_t length = std::min(left / 2, most);
    Part& taken = openPart(area, victim->nominalEnd - length, victim->nominalEnd, victim->next, false);
    victim->nominalEnd = taken.start;
    victim->next = &taken;
    return &taken;
}

// A thread's work on a segment: its own part, then parts taken over from the others while any has enough
// left.
void workOnSegment(Segment& segment, unsigned index) {
    PartArea& area = *segment.areas[index];
    Part* part = &area.parts[0];
    bool first = index == 0;
    for (;;) {
        startWriter(area.coder.writer, part->output, NeverFlush, nullptr, nullptr);
        Part* next = codePart(segment, area, *part, first);
        if (!finishPart(segment, area, *part, next)) return;
        part = takeOver(segment, area);
        if (part == nullptr) return;
        first = false;
    }
}

// Appends the parts' bits to `out` in input order, each from where the part before it met it, as soon as
// each has finished (while later ones are still coded). A part that passed the next one's first tokens
// without meeting them goes on, here, through the parts after it until it meets one. Returns where the
// segment's parse ended.
uint64_t joinParts(Segment& segment, BitWriter& out) {
    Part* part = &segment.areas[0]->parts[0];
    uint64_t from = 0;
    for (;;) {
        segment.waitUntil([part] { return part->finished; });
        if (part->met) {
            appendBits(out, part->output, from, part->endBit);
            from = part->next->starts[part->metIndex].bit();
            part = part->next;
            continue;
        }
        if (part->next == nullptr) {
            appendBits(out, part->output, from, part->endBit);
            return part->endPosition;
        }
        // The part's coder is as its thread left it.
        Coder& coder = part->area->coder;
        Cursor& cursor = part->area->cursor;
        // Bits are appended as they come, so that the part's room holds what is coded between appends.
        auto flush = [&] {
            spillBits(coder.writer);
            appendBits(out, part->output, from, coder.writer.bitCount());
            from = 0;
            startWriter(coder.writer, part->output, NeverFlush, nullptr, nullptr);
        };
        Part* passed = part->next;
        for (;;) {
            // Where the part passed ends is settled once it has coded its range.
            segment.waitUntil([passed] { return passed->done; });
            flush();
            while (!cursor.finished && inputPosition(cursor) < passed->nominalEnd) {
                codeUntil(coder, cursor, std::min(passed->nominalEnd, inputPosition(cursor) + MinPartBytes),
                          copyFromSegment, &segment.input);
                flush();
            }
            if (passed->next == nullptr) return inputPosition(cursor);
            segment.waitUntil([next = passed->next] { return next->headReady; });
            const uint32_t met = meetNext(segment.input, coder, cursor, *passed->next);
            if (met < passed->next->startCount) {
                flush();
                from = passed->next->starts[met].bit();
                part = passed->next;
                break;
            }
            passed = passed->next;
        }
    }
}

// ---- threads ------------------------------------------------------------------------------------------

// Helper threads wait for a segment, work on it, and report back. The segment and its parts are handed
// over under the mutex, so a helper sees everything the calling thread wrote before.
class Crew {
public:
    explicit Crew(unsigned most) : most_(std::min(most, MaxCompressThreads - 1)) {}
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;
    ~Crew() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        for (unsigned i = 0; i < started_; ++i) threads_[i].join();
    }

    // Starts helpers until `helpers` run (or the system refuses one, after which none is asked for
    // again); returns how many of the `helpers` run.
    unsigned ensure(unsigned helpers) {
        for (helpers = std::min(helpers, most_); started_ < helpers && !refused_; ++started_) {
            try {
                // A helper started after earlier segments waits for the next one.
                threads_[started_] = std::thread(&Crew::serve, this, started_ + 1, generation_);
            } catch (...) {  // std::system_error, or no memory for the thread's state
                refused_ = true;
                break;
            }
        }
        return std::min(started_, helpers);
    }

    // Works on the segment on the helpers and, with `own`, on the calling thread; returns when all are
    // done.
    template <typename Own>
    void run(Segment& segment, Own&& own) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            segment_ = &segment;
            busy_ = started_;
            ++generation_;
        }
        wake_.notify_all();
        own();
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return busy_ == 0; });
    }

private:
    void serve(unsigned index, uint64_t seen) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
            if (quit_) return;
            seen = generation_;
            Segment* segment = segment_;
            lock.unlock();
            if (index < segment->threadCount) workOnSegment(*segment, index);
            lock.lock();
            if (--busy_ == 0) done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::thread threads_[MaxCompressThreads - 1];
    Segment* segment_ = nullptr;
    uint64_t generation_ = 0;
    unsigned busy_ = 0;
    unsigned started_ = 0;
    unsigned most_;
    bool refused_ = false;
    bool quit_ = false;
};

struct ReadContext {
    ReadCallback read;
    void* parameter;
};

// Reads whole blocks into `destination` until `size` bytes are there or a read delivers nothing; asks
// each read for the bytes still missing from the current 4096-byte block.
uint32_t readBlocks(const ReadContext& reader, uint8_t* destination, uint32_t size) {
    uint32_t received = 0;
    while (received < size) {
        uint32_t request = BlockSize - received % BlockSize;
        const uint32_t count = std::min(reader.read(destination + received, &request, reader.parameter),
                                        BlockSize - received % BlockSize);
        if (count == 0) break;
        received += count;
    }
    return received;
}

int compressInSegments(ReadCallback read, WriteCallback write, SharedState& state, PartArea& own, void* parameter,
                       uint32_t* literalMode, uint32_t* dictionarySize, const CompressHelpers& helpers) {
    if (const int result = setUpCoder(state.streamCoder, *literalMode, *dictionarySize); result != ResultOk) {
        return result;
    }
    BitWriter& out = state.streamCoder.writer;
    startWriter(out, state.output, OutputChunkSize, write, parameter);
    putHeader(state.streamCoder, out);
    const ReadContext reader{read, parameter};
    const unsigned most = std::min(helpers.most, MaxCompressThreads - 1);
    Crew crew(most);

    // The segment's part areas, the stream's own first and then those lent for it.
    void* held[MaxCompressThreads] = {&own};
    auto area = [&](unsigned i) { return static_cast<PartArea*>(held[i]); };
    // Gives the lent areas from index `from` up to `to` back.
    auto giveBack = [&](unsigned from, unsigned to) {
        if (to > from) helpers.giveBack(held + from, to - from, helpers.lender);
    };
    Segment segment{};
    segment.input.history = state.history;
    segment.first = true;
    uint64_t carried = 0;  // first token of the next segment: where the previous one's parse ended
    for (;;) {
        unsigned count = 1 + (most == 0 ? 0 : std::min(most, helpers.borrow(held + 1, most, helpers.lender)));
        const uint64_t segmentStart = segment.input.start;
        uint64_t received = readBlocks(reader, own.slice, PartBytes);
        // Input beyond one part: every area lent takes its share, if a thread runs for it.
        if (received == PartBytes && count > 1) {
            const unsigned threads = 1 + crew.ensure(count - 1);
            giveBack(threads, count);
            count = threads;
            for (unsigned i = 1; i < count; ++i) {
                const uint32_t got = readBlocks(reader, area(i)->slice, PartBytes);
                received += got;
                if (got < PartBytes) break;
            }
        }
        const bool last = received < uint64_t{count} * PartBytes;
        if (segment.first && received == 0) {
            giveBack(1, count);
            break;
        }
        const uint64_t available = segmentStart + received;
        for (unsigned i = 0; i < count; ++i) segment.input.slices[i] = area(i)->slice;
        segment.input.available = available;
        segment.inputSize = last ? available : UINT64_MAX;
        // A full block leaves its last 516 bytes to the next one.
        const uint64_t codingEnd = last ? available : available - LookAhead;
        const uint64_t length = codingEnd - carried;
        // Parts of at least MinPartBytes, and never longer than PartBytes (their output buffers' bound):
        // with more than one part's input, every area has a thread.
        unsigned partCount = std::max<unsigned>(1, static_cast<unsigned>(std::min<uint64_t>(count, length / MinPartBytes)));
        partCount = 1 + crew.ensure(partCount - 1);
        // The areas that hold neither a part nor input go back at once.
        const unsigned kept = std::max(partCount, static_cast<unsigned>((received + PartBytes - 1) / PartBytes));
        giveBack(kept, count);
        segment.threadCount = partCount;
        for (unsigned i = 0; i < partCount; ++i) {
            PartArea& a = *area(i);
            setUpCoder(a.coder, *literalMode, *dictionarySize);
            a.partCount = 0;
            a.outputUsed = 0;
            openPart(a, carried + length * i / partCount, carried + length * (i + 1) / partCount,
                     i + 1 < partCount ? &area(i + 1)->parts[0] : nullptr, i == 0);
            segment.areas[i] = &a;
        }
        uint64_t ended = 0;
        if (partCount == 1) {
            // One part: its bits go straight into the stream, which a join would only copy.
            Coder& coder = area(0)->coder;
            coder.writer = out;
            codePart(segment, *area(0), area(0)->parts[0], true);
            out = coder.writer;
            ended = inputPosition(area(0)->cursor);
        } else {
            crew.run(segment, [&] {
                workOnSegment(segment, 0);
                ended = joinParts(segment, out);
            });
        }
        if (!last) {
            carried = ended;
            segment.continued = partCount == 1;
            // The last HistoryBytes bytes become the history of the next segment (a full segment holds
            // more than that).
            copyFromSegment(state.history, available - HistoryBytes, HistoryBytes, &segment.input);
        }
        giveBack(1, kept);
        if (last) break;
        segment.input.start = available;
        segment.first = false;
    }
    finishStream(out, state.streamCoder.symbolCodes[EndSymbol], state.streamCoder.symbolLengths[EndSymbol]);
    return ResultOk;
}

// CompressStreamParallel's helpers: the part areas of its own work area, always lent.
struct OwnAreas {
    uint8_t* first;
    unsigned count;
};

unsigned lendOwnAreas(void** areas, unsigned wanted, void* lender) {
    const auto& own = *static_cast<const OwnAreas*>(lender);
    const unsigned count = std::min(wanted, own.count);
    for (unsigned i = 0; i < count; ++i) areas[i] = own.first + size_t{i} * PartAreaBytes;
    return count;
}

void keepOwnAreas(void* const*, unsigned, void*) {}

}  // namespace

extern const size_t CompressPartWorkSize = PartAreaBytes;
extern const size_t CompressSharedWorkSize = SharedBytes;

size_t compressParallelWorkSize(unsigned threadCount) {
    const unsigned threads = clampThreads(threadCount);
    if (threads == 1) return CompressWorkSize;
    return SharedBytes + threads * PartAreaBytes;
}

int CompressStreamParallel(ReadCallback read, WriteCallback write, void* workArea, void* parameter,
                           uint32_t* literalMode, uint32_t* dictionarySize, unsigned threadCount) {
    const unsigned threads = clampThreads(threadCount);
    if (threads == 1) return CompressStream(read, write, workArea, parameter, literalMode, dictionarySize);
    auto* area = static_cast<uint8_t*>(workArea);
    OwnAreas own{area + SharedBytes + PartAreaBytes, threads - 1};
    const CompressHelpers helpers{lendOwnAreas, keepOwnAreas, &own, threads - 1};
    return compressInSegments(read, write, *reinterpret_cast<SharedState*>(area),
                              *reinterpret_cast<PartArea*>(area + SharedBytes), parameter, literalMode,
                              dictionarySize, helpers);
}

int CompressStreamBorrowing(ReadCallback read, WriteCallback write, void* workArea, void* partArea,
                            void* parameter, uint32_t* literalMode, uint32_t* dictionarySize,
                            const CompressHelpers& helpers) {
    return compressInSegments(read, write, *static_cast<SharedState*>(workArea), *static_cast<PartArea*>(partArea),
                              parameter, literalMode, dictionarySize, helpers);
}

}  // namespace bxa

// Throughput of ExpandStream and CompressStream (MB/s of uncompressed data) on three deterministic corpora,
// with zlib's inflate and level-1 deflate on the same data for scale, and of CompressStreamParallel on one
// 64 MB record (text and model data in turns) with one and two threads, and of two single-threaded
// compressions of it at once (what two threads of the machine give). Every benchmark runs in rounds,
// shuffled among the rounds of all the others, so that a slow spell of a shared machine falls on bxa and
// zlib alike; the summary of the ratios after the runs takes each benchmark's fastest round.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "compress/compress_stream.hpp"
#include "compress/expand_stream.hpp"

namespace {

constexpr size_t CorpusSize = 8u << 20;
constexpr size_t LargeRecordSize = 64u << 20;
constexpr unsigned LargeRecordThreads[] = {1, 2};
constexpr int Rounds = 5;

std::vector<uint8_t> textCorpus(size_t size = CorpusSize, uint32_t seed = 1) {
    static const char* const names[] = {"oak_table", "lamp", "door_frame", "window", "crate", "barrel",
                                        "stone_wall", "roof_tile", "chair", "fence_post"};
    static const char* const words[] = {"the", "model", "is", "placed", "near", "a", "wall", "and", "faces",
                                        "north", "with", "texture", "scale", "of", "light"};
    std::mt19937 rng(seed);
    std::string text = "id,name,x,y,z,rotation,flags,comment\r\n";
    char line[256];
    for (uint32_t id = 0; text.size() < size; ++id) {
        // Drawn in a braced list, which fixes the order of the draws (a function's arguments may be
        // evaluated in any order, so drawing there would make the corpus depend on the compiler).
        const std::mt19937::result_type draw[6] = {rng(), rng(), rng(), rng(), rng(), rng()};
        std::snprintf(line, sizeof line, "%u,%s,%.3f,%.3f,%.3f,%d,%u,", id, names[draw[0] % 10],
                      static_cast<double>(draw[1] % 100000) / 100.0, static_cast<double>(draw[2] % 2000) / 100.0,
                      static_cast<double>(draw[3] % 100000) / 100.0, static_cast<int>(draw[4] % 4) * 90,
                      static_cast<unsigned>(draw[5] % 8));
        text += line;
        for (uint32_t w = 0, count = 3 + static_cast<uint32_t>(rng() % 6); w < count; ++w) {
            text += words[rng() % 15];
            text += w + 1 < count ? " " : "\r\n";
        }
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

std::vector<uint8_t> modelCorpus(size_t size = CorpusSize, uint32_t seed = 2) {
    // Vertex records: position on a coarse grid, one of a few normals, texture coordinates, all float32.
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes;
    bytes.reserve(size + 64);
    const float normals[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    while (bytes.size() < size) {
        const float* n = normals[rng() % 6];
        float record[8] = {static_cast<float>(rng() % 64) * 0.25f, static_cast<float>(rng() % 16) * 0.5f,
                           static_cast<float>(rng() % 64) * 0.25f, n[0], n[1], n[2],
                           static_cast<float>(rng() % 9) * 0.125f, static_cast<float>(rng() % 9) * 0.125f};
        uint8_t raw[sizeof record];
        std::memcpy(raw, record, sizeof record);
        bytes.insert(bytes.end(), raw, raw + sizeof raw);
    }
    bytes.resize(size);
    return bytes;
}

// Text and model data in turns of 1 MiB, each turn with its own seed.
std::vector<uint8_t> largeRecord() {
    constexpr size_t Turn = 1u << 20;
    std::vector<uint8_t> bytes;
    bytes.reserve(LargeRecordSize);
    for (uint32_t turn = 0; bytes.size() < LargeRecordSize; ++turn) {
        std::vector<uint8_t> part = turn % 2 ? modelCorpus(Turn, 100 + turn) : textCorpus(Turn, 100 + turn);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

std::vector<uint8_t> randomCorpus() {
    std::mt19937 rng(3);
    std::vector<uint8_t> bytes(CorpusSize);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

struct Span {
    const uint8_t* data;
    size_t size;
    size_t position;
};

struct Sink {
    uint8_t* data;
    size_t size;
};

uint32_t readSpan(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* io = static_cast<std::pair<Span, Sink>*>(parameter);
    size_t count = std::min<size_t>(*size, io->first.size - io->first.position);
    std::memcpy(buffer, io->first.data + io->first.position, count);
    io->first.position += count;
    return static_cast<uint32_t>(count);
}

void writeSink(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* io = static_cast<std::pair<Span, Sink>*>(parameter);
    std::memcpy(io->second.data + io->second.size, buffer, *size);
    io->second.size += *size;
}

size_t runCompress(const std::vector<uint8_t>& input, std::vector<uint8_t>& output, uint8_t* work, uint32_t mode,
                   unsigned threads = 1) {
    std::pair<Span, Sink> io{{input.data(), input.size(), 0}, {output.data(), 0}};
    uint32_t dictionarySize = 4096;
    if (threads == 1) {
        bxa::CompressStream(readSpan, writeSink, work, &io, &mode, &dictionarySize);
    } else {
        bxa::CompressStreamParallel(readSpan, writeSink, work, &io, &mode, &dictionarySize, threads);
    }
    return io.second.size;
}

// Wall-clock time, since the threads' work does not show in the calling thread's CPU time. Beside them,
// two single-threaded compressions of the record at once, each on a thread of its own with nothing
// shared: the most that two threads of this machine give, against which the threaded figure is read.
void registerLargeRecord(const std::vector<uint8_t>& record) {
    for (unsigned threads : LargeRecordThreads) {
        benchmark::RegisterBenchmark(("compress_large/threads:" + std::to_string(threads)).c_str(),
                                     [&record, threads](benchmark::State& state) {
                                         std::vector<uint8_t> output(record.size() + record.size() / 2);
                                         auto area = std::make_unique<uint8_t[]>(bxa::compressParallelWorkSize(threads));
                                         for (auto _ : state) {
                                             benchmark::DoNotOptimize(runCompress(record, output, area.get(), 0, threads));
                                         }
                                         state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(record.size()));
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(1.0)
            ->Repetitions(Rounds);
    }
    benchmark::RegisterBenchmark("compress_large/two_at_once", [&record](benchmark::State& state) {
        std::vector<uint8_t> outputs[2];
        std::unique_ptr<uint8_t[]> areas[2];
        for (int i = 0; i < 2; ++i) {
            outputs[i].resize(record.size() + record.size() / 2);
            areas[i] = std::make_unique<uint8_t[]>(bxa::CompressWorkSize);
        }
        for (auto _ : state) {
            std::thread other([&] { benchmark::DoNotOptimize(runCompress(record, outputs[1], areas[1].get(), 0)); });
            benchmark::DoNotOptimize(runCompress(record, outputs[0], areas[0].get(), 0));
            other.join();
        }
        state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(record.size()));
    })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(1.0)
        ->Repetitions(Rounds);
}

size_t runExpand(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output, uint8_t* work) {
    std::pair<Span, Sink> io{{stream.data(), stream.size(), 0}, {output.data(), 0}};
    bxa::ExpandStream(readSpan, writeSink, work, &io);
    return io.second.size;
}

struct Corpus {
    std::string name;
    std::vector<uint8_t> data;
    std::vector<uint8_t> streams[2];  // by literal mode
    std::vector<uint8_t> zlibStream;
};

std::map<std::string, double> compressionRatios;

void registerCorpus(Corpus& corpus) {
    const char* const modeNames[2] = {"binary", "ascii"};
    for (uint32_t mode = 0; mode < 2; ++mode) {
        std::vector<uint8_t> out(corpus.data.size() * 2 + 4096);
        auto work = std::make_unique<uint8_t[]>(bxa::CompressWorkSize);
        out.resize(runCompress(corpus.data, out, work.get(), mode));
        corpus.streams[mode] = out;
        compressionRatios[corpus.name + "/" + modeNames[mode]] =
            static_cast<double>(out.size()) / static_cast<double>(corpus.data.size());

        benchmark::RegisterBenchmark(("expand/" + corpus.name + "/" + modeNames[mode]).c_str(),
                                     [&corpus, mode](benchmark::State& state) {
                                         std::vector<uint8_t> output(corpus.data.size() + 4096);
                                         auto area = std::make_unique<uint8_t[]>(bxa::ExpandWorkSize);
                                         for (auto _ : state) {
                                             benchmark::DoNotOptimize(runExpand(corpus.streams[mode], output, area.get()));
                                         }
                                         if (std::memcmp(output.data(), corpus.data.data(), corpus.data.size()) != 0) {
                                             state.SkipWithError("expanded bytes differ");
                                         }
                                         state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(corpus.data.size()));
                                     })
            ->Unit(benchmark::kMillisecond)->Repetitions(Rounds);
        benchmark::RegisterBenchmark(("compress/" + corpus.name + "/" + modeNames[mode]).c_str(),
                                     [&corpus, mode](benchmark::State& state) {
                                         std::vector<uint8_t> output(corpus.data.size() * 2 + 4096);
                                         auto area = std::make_unique<uint8_t[]>(bxa::CompressWorkSize);
                                         for (auto _ : state) {
                                             benchmark::DoNotOptimize(runCompress(corpus.data, output, area.get(), mode));
                                         }
                                         state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(corpus.data.size()));
                                     })
            ->Unit(benchmark::kMillisecond)->Repetitions(Rounds);
    }
    uLongf zlibSize = compressBound(static_cast<uLong>(corpus.data.size()));
    corpus.zlibStream.resize(zlibSize);
    compress2(corpus.zlibStream.data(), &zlibSize, corpus.data.data(), static_cast<uLong>(corpus.data.size()), 1);
    corpus.zlibStream.resize(zlibSize);
    compressionRatios[corpus.name + "/zlib1"] = static_cast<double>(zlibSize) / static_cast<double>(corpus.data.size());
    benchmark::RegisterBenchmark(("expand/" + corpus.name + "/zlib").c_str(),
                                 [&corpus](benchmark::State& state) {
                                     std::vector<uint8_t> output(corpus.data.size());
                                     for (auto _ : state) {
                                         uLongf size = static_cast<uLongf>(output.size());
                                         uncompress(output.data(), &size, corpus.zlibStream.data(),
                                                    static_cast<uLong>(corpus.zlibStream.size()));
                                         benchmark::DoNotOptimize(size);
                                     }
                                     state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(corpus.data.size()));
                                 })
        ->Unit(benchmark::kMillisecond)->Repetitions(Rounds);
    benchmark::RegisterBenchmark(("compress/" + corpus.name + "/zlib").c_str(),
                                 [&corpus](benchmark::State& state) {
                                     std::vector<uint8_t> output(compressBound(static_cast<uLong>(corpus.data.size())));
                                     for (auto _ : state) {
                                         uLongf size = static_cast<uLongf>(output.size());
                                         compress2(output.data(), &size, corpus.data.data(),
                                                   static_cast<uLong>(corpus.data.size()), 1);
                                         benchmark::DoNotOptimize(size);
                                     }
                                     state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(corpus.data.size()));
                                 })
        ->Unit(benchmark::kMillisecond)->Repetitions(Rounds);
}

// Keeps each benchmark's fastest round for the summary while the console reporter prints as usual.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> megabytesPerSecond;
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            if (run.run_type != Run::RT_Iteration) continue;
            auto found = run.counters.find("bytes_per_second");
            if (found == run.counters.end()) continue;
            std::string name = run.benchmark_name();
            if (const size_t repeats = name.find("/repeats:"); repeats != std::string::npos) {
                name.erase(repeats, name.find('/', repeats + 1) - repeats);
            }
            double& best = megabytesPerSecond[name];
            best = std::max(best, found->second.value / 1e6);
        }
        ConsoleReporter::ReportRuns(reports);
    }
};

void printSummary(const std::vector<Corpus>& corpora, const SummaryReporter& reporter) {
    auto rate = [&](const std::string& name) {
        auto found = reporter.megabytesPerSecond.find(name);
        return found == reporter.megabytesPerSecond.end() ? NAN : found->second;
    };
    std::printf("\n%-8s %-7s %10s %10s %7s %10s %10s %7s %8s %8s\n", "corpus", "mode", "expand", "inflate",
                "ratio", "compress", "deflate1", "ratio", "size", "zlib1");
    for (const Corpus& corpus : corpora) {
        for (const char* mode : {"binary", "ascii"}) {
            double expand = rate("expand/" + corpus.name + "/" + mode);
            double inflate = rate("expand/" + corpus.name + "/zlib");
            double compress = rate("compress/" + corpus.name + "/" + mode);
            double deflate = rate("compress/" + corpus.name + "/zlib");
            std::printf("%-8s %-7s %10.1f %10.1f %6.2fx %10.1f %10.1f %6.2fx %7.1f%% %7.1f%%\n", corpus.name.c_str(),
                        mode, expand, inflate, expand / inflate, compress, deflate, compress / deflate,
                        100.0 * compressionRatios[corpus.name + "/" + mode],
                        100.0 * compressionRatios[corpus.name + "/zlib1"]);
        }
    }
    std::printf("(MB/s of uncompressed data; ratio = bxa / zlib; size = stream size / input size)\n");
    // These names carry the run options after the part given.
    auto largeRate = [&](const std::string& name) {
        const std::string prefix = "compress_large/" + name + "/";
        auto found = reporter.megabytesPerSecond.lower_bound(prefix);
        bool match = found != reporter.megabytesPerSecond.end() && found->first.starts_with(prefix);
        return match ? found->second : NAN;
    };
    auto threadsRate = [&](unsigned threads) { return largeRate("threads:" + std::to_string(threads)); };
    const double one = threadsRate(1);
    for (unsigned threads : LargeRecordThreads) {
        const double rated = threadsRate(threads);
        std::printf("64 MB record, %u thread%s: %8.1f MB/s  %5.2fx one thread\n", threads, threads == 1 ? " " : "s",
                    rated, rated / one);
    }
    const double both = largeRate("two_at_once");
    std::printf("64 MB record twice at once, 1 thread each: %8.1f MB/s  %5.2fx one thread (what two threads of this "
                "machine give with nothing shared)\n",
                both, both / one);
}

}  // namespace

int main(int argc, char** argv) {
    // Rounds are shuffled unless the command line says otherwise (a later flag wins).
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> arguments{argv[0], interleave.data()};
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    std::vector<Corpus> corpora;
    corpora.reserve(3);
    corpora.push_back(Corpus{"text", textCorpus(), {}, {}});
    corpora.push_back(Corpus{"model", modelCorpus(), {}, {}});
    corpora.push_back(Corpus{"random", randomCorpus(), {}, {}});
    for (Corpus& corpus : corpora) registerCorpus(corpus);
    const std::vector<uint8_t> record = largeRecord();
    registerLargeRecord(record);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(corpora, reporter);
    benchmark::Shutdown();
    return 0;
}

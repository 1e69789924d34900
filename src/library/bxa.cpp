// The public interface over the subsystems: each call runs the matching command or engine with a console
// that hands its messages to the caller and keeps the errors for the Status.
#include "bxa/bxa.hpp"

#include <algorithm>
#include <memory>

#include "archive/commands.hpp"
#include "archive/toc.hpp"
#include "compress/compress_buffer.hpp"
#include "compress/engine.hpp"
#include "compress/expand_buffer.hpp"
#include "entry/entry_kinds.hpp"
#include "entry/model_conversion.hpp"
#include "entry/stream_pair.hpp"
#include "platform/console.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"
#include "platform/ordered_work.hpp"

namespace bxa {

namespace {

constexpr size_t SinkBlockSize = 1 << 16;

// Hands every message to the caller and keeps those that report an error or a warning, without their
// framing line ends, for the Status.
class CallbackConsole final : public platform::Console {
public:
    explicit CallbackConsole(const MessageCallback& callback) : callback_(callback) {}

    void write(platform::Stream stream, std::string_view text) override {
        if (callback_) callback_(stream == platform::Stream::Output ? Channel::Output : Channel::Error, text);
        if (text.find("Error") == std::string_view::npos) return;
        const size_t first = text.find_first_not_of('\n');
        const size_t last = text.find_last_not_of('\n');
        if (first == std::string_view::npos) return;
        if (!errors_.empty()) errors_ += '\n';
        errors_ += text.substr(first, last - first + 1);
    }

    Status status(bool succeeded) const {
        if (succeeded) return Status();
        return Status::failure(errors_.empty() ? std::string("the command failed") : errors_);
    }

private:
    const MessageCallback& callback_;
    std::string errors_;
};

unsigned threadsOf(const Options& options) {
    return options.threads == 0 ? platform::machineThreads() : options.threads;
}

template <typename Command>
Status runCommand(const Options& options, Command command) {
    CallbackConsole console(options.messages);
    TocList toc;
    const bool succeeded = command(toc, console, threadsOf(options));
    return console.status(succeeded);
}

// Delivers `length` bytes of `file` from `offset` to the sink in blocks.
Status deliver(platform::File& file, int64_t offset, int64_t length, const ByteSink& sink) {
    std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(length, 1), SinkBlockSize)));
    while (length > 0) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(block.size())));
        if (file.readAt(offset, block.data(), want) != want) return Status::failure("Could not read the record's bytes");
        if (!sink(block.data(), want)) return Status::failure("The reading was stopped by its receiver");
        offset += static_cast<int64_t>(want);
        length -= static_cast<int64_t>(want);
    }
    return Status();
}

Status deliverWhole(platform::File& file, const ByteSink& sink) {
    std::optional<int64_t> length = file.length();
    if (!length) return Status::failure("Could not read a temporary file");
    return deliver(file, 0, *length, sink);
}

}  // namespace

Status Status::failure(std::string message) {
    Status status;
    status.failed_ = true;
    status.message_ = std::move(message);
    return status;
}

MessageCallback standardStreams() {
    auto console = std::make_shared<platform::StandardConsole>();
    return [console](Channel channel, std::string_view text) {
        console->write(channel == Channel::Output ? platform::Stream::Output : platform::Stream::Error, text);
        console->flush();
    };
}

// ---- The archive commands -----------------------------------------------------------------------------

Status unpack(const std::string& archive, const std::string& workDir, const Options& options) {
    return runCommand(options, [&](TocList& toc, platform::Console& console, unsigned threads) {
        return unpackArchive(toc, archive, workDir, std::nullopt, console, threads);
    });
}

Status unpackRecord(const std::string& archive, const std::string& workDir, const std::string& name,
                    const Options& options) {
    return runCommand(options, [&](TocList& toc, platform::Console& console, unsigned threads) {
        return unpackArchive(toc, archive, workDir, name, console, threads);
    });
}

Status catalog(const std::string& archive, const std::string& workDir, const Options& options) {
    return runCommand(options, [&](TocList& toc, platform::Console& console, unsigned) {
        return catalogArchive(toc, archive, workDir, console);
    });
}

Status pack(const std::string& archive, const std::string& workDir, const Options& options) {
    return runCommand(options, [&](TocList& toc, platform::Console& console, unsigned threads) {
        return packArchive(toc, archive, workDir, console, threads);
    });
}

Status replace(const std::string& archive, const std::string& workDir, const std::string& name,
               const Options& options) {
    return runCommand(options, [&](TocList& toc, platform::Console& console, unsigned threads) {
        return replaceRecord(toc, archive, workDir, name, console, threads);
    });
}

Status add(const std::string& archive, const std::string& workDir, const std::string& name, const Options& options) {
    return runCommand(options, [&](TocList& toc, platform::Console& console, unsigned threads) {
        return addFile(toc, archive, workDir, name, console, threads);
    });
}

// ---- Reading an archive -------------------------------------------------------------------------------

struct ArchiveReader::State {
    platform::File archive;
    int64_t length = 0;
    std::vector<RecordInfo> records;
};

ArchiveReader::ArchiveReader() = default;
ArchiveReader::~ArchiveReader() = default;
ArchiveReader::ArchiveReader(ArchiveReader&&) noexcept = default;
ArchiveReader& ArchiveReader::operator=(ArchiveReader&&) noexcept = default;

Status ArchiveReader::open(const std::string& path) {
    auto state = std::make_unique<State>();
    platform::OpenFailure failure = platform::OpenFailure::None;
    state->archive = platform::File::openForReading(path, &failure);
    if (!state->archive) {
        return Status::failure(failure == platform::OpenFailure::NotRegular
                                   ? "Error: Could not open (" + path + "); it is not a regular file"
                                   : "Error: Could not open (" + path + ")");
    }
    state->length = state->archive.length().value_or(0);
    TocList toc;
    readTableRecords(state->archive, toc);
    for (const TocEntry& entry : toc) {
        state->records.push_back({entry.name, entry.originalSize, entry.storedSize, entry.method, entry.dataOffset});
    }
    state_ = std::move(state);
    return Status();
}

const std::vector<RecordInfo>& ArchiveReader::records() const {
    static const std::vector<RecordInfo> none;
    return state_ ? state_->records : none;
}

Status ArchiveReader::read(size_t index, RecordForm form, const ByteSink& sink) const {
    if (!state_ || index >= state_->records.size()) return Status::failure("Error: No record " + std::to_string(index));
    const RecordInfo& record = state_->records[index];
    const int64_t end = static_cast<int64_t>(record.dataOffset) + record.storedSize;
    if (record.dataOffset < 0 || record.storedSize < 0 || end > state_->length) {
        return Status::failure("Error: Record (" + record.name + ") lies outside the archive");
    }
    platform::File& archive = state_->archive;
    if (form == RecordForm::Stored) return deliver(archive, record.dataOffset, record.storedSize, sink);

    platform::Directory temporary = platform::Directory::temporary();
    platform::WorkingFile expanded = temporary.createWorkingFile();
    if (!expanded) return Status::failure("Error: Could not create a temporary file");
    const bool compressed = record.method == 1 || record.method == 2;
    EngineOutcome outcome = compressed ? expandBetween(archive, record.dataOffset, record.storedSize, expanded.file())
                                       : EngineOutcome::NotAStream;
    if (outcome == EngineOutcome::NotAStream) {
        if (!expanded.file().truncate(0) || !expanded.file().seek(0) ||
            !platform::copyBytes(archive, record.dataOffset, record.storedSize, expanded.file())) {
            return Status::failure("Error: Could not write a temporary file");
        }
    } else if (outcome != EngineOutcome::Done) {
        return Status::failure("Error: Could not expand record (" + record.name + ")");
    }
    if (!expanded.file().flush()) return Status::failure("Error: Could not write a temporary file");
    const ModelKind kind = modelKindOf(record.name);
    if (form == RecordForm::Expanded || kind == ModelKindNone) return deliverWhole(expanded.file(), sink);

    platform::WorkingFile text = temporary.createWorkingFile();
    if (!text || !expanded.file().seek(0) || !convertModelToText(kind, expanded.file(), text.file()) ||
        !text.file().flush()) {
        return Status::failure("Error: Could not write the text form of (" + record.name + ")");
    }
    return deliverWhole(text.file(), sink);
}

// ---- Streams in memory ----------------------------------------------------------------------------------

Status compressStream(std::span<const uint8_t> data, LiteralCoding coding, std::vector<uint8_t>& stream,
                      unsigned threads) {
    const uint32_t literalMode = coding == LiteralCoding::Ascii ? LiteralModeAscii : LiteralModeBinary;
    const unsigned count = threads == 0 ? platform::machineThreads() : threads;
    if (compressBuffer(data, literalMode, RecordDictionarySize, stream, count) != ResultOk) {
        return Status::failure("Error: Could not compress");
    }
    return Status();
}

Status expandStream(std::span<const uint8_t> stream, std::vector<uint8_t>& data) {
    switch (expandBuffer(stream, data)) {
        case ResultOk: return Status();
        case ResultShortInput: return Status::failure("Error: The stream is too short to be a compressed stream");
        case ResultBadDictionarySize: return Status::failure("Error: The stream's header gives no known dictionary size");
        case ResultBadLiteralMode: return Status::failure("Error: The stream's header gives no known literal coding");
        default: return Status::failure("Error: The stream ends before its end symbol");
    }
}

}  // namespace bxa

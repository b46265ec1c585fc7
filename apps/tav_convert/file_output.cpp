#include "file_output.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kPerShard = 1000;
constexpr std::size_t kShardSlots = std::size_t{INT32_MAX / kPerShard} + 1;

// Whether a failure to make or write a file is the output's own (the run
// stops) rather than the one name's (a folder or a read-only file in its
// way: the record fails and the run goes on).
bool output_failed(int error, const std::string& dir)
{
#ifdef _WIN32
    (void)dir;
    return error == ENOSPC || error == EIO;
#else
    if (error == EACCES || error == EPERM)
        return ::access(dir.empty() ? "." : dir.c_str(), W_OK | X_OK) != 0;
    return error == ENOSPC || error == EDQUOT || error == EIO || error == EROFS;
#endif
}

tav::Status fail(tav::Result& result, tav::MessageCode code,
                 std::initializer_list<std::string_view> values)
{
    result.messages.push_back(tav::make_message(code, values));
    result.status = tav::Status::Failed;
    return result.status;
}

}  // namespace

FileOutput::FileOutput(std::string dir, bool shard, bool shared)
    : dir_(std::move(dir)), shard_(shard), shared_(shared)
{
    if (!dir_.empty())
        root_ = dir_ + '/';
    if (shard_)
        shards_made_ = std::make_unique<std::atomic<unsigned char>[]>(kShardSlots);
}

bool FileOutput::prepare(std::string& error)
{
    std::error_code ec, made;
    fs::path dir = dir_.empty() ? fs::path(".") : fs::path(dir_);
    if (!dir_.empty())
        fs::create_directories(dir, made);
    bool folder = fs::is_directory(dir, ec);
    if (!folder) {
        std::error_code why = made ? made : ec;
        error = why ? "cannot create output folder " + dir_ + ": " + why.message()
                    : "output folder " + dir_ + " is not a folder";
        return false;
    }
#ifndef _WIN32
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        error = "cannot write to output folder " + (dir_.empty() ? "." : dir_) + ": " +
                std::strerror(errno);
        return false;
    }
#endif
    return true;
}

void FileOutput::protect(const FileIds& inputs, const std::optional<FileId>& report)
{
    protected_ = inputs;
    report_kept_ = report.has_value();
    if (report)
        protected_.push_back(*report);
}

std::string FileOutput::relative_path(const tav::Result& result) const
{
    if (!shard_ || result.file_name.empty())
        return result.file_name;
    return std::to_string(result.identifier / kPerShard) + '/' + result.file_name;
}

bool FileOutput::make_shard(tav::Result& result, const std::string& shard,
                            std::string& stop)
{
    std::int32_t identifier = result.identifier;
    std::atomic<unsigned char>* made =
        identifier >= 0 ? &shards_made_[static_cast<std::size_t>(identifier / kPerShard)]
                        : nullptr;
    if (made != nullptr && made->load(std::memory_order_acquire) != 0)
        return true;
    std::error_code ec, is_dir;
    fs::path path = fs::path(root_ + shard);
    fs::create_directory(path, ec);
    if (ec && !fs::is_directory(path, is_dir)) {
        // A name that is there but no folder: why it is none (a link loop,
        // say) says more than that it exists.
        std::error_code why = is_dir ? is_dir : ec;
        fail(result, tav::MessageCode::CannotCreateFolder,
             {shard, result.file_name, why.message()});
        if (output_failed(why.value(), dir_))
            stop = result.messages.back().text;
        return false;
    }
    if (made != nullptr)
        made->store(1, std::memory_order_release);
    return true;
}

bool FileOutput::claim(const std::string& name, std::int64_t seq)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        auto [it, added] = claims_.try_emplace(name, Claim{seq, true});
        if (added)
            return true;
        if (it->second.writing) {
            done_.wait(lock);
            continue;
        }
        if (it->second.seq > seq)
            return false;
        it->second = Claim{seq, true};
        return true;
    }
}

void FileOutput::release(const std::string& name)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        claims_[name].writing = false;
    }
    done_.notify_all();
}

void FileOutput::forget_before(std::int64_t seq)
{
    if (!shared_)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (claims_.size() < forget_at_)
        return;
    std::erase_if(claims_, [seq](const auto& entry) {
        return !entry.second.writing && entry.second.seq < seq;
    });
    forget_at_ = std::max<std::size_t>(1024, claims_.size() * 2);
}

bool FileOutput::keeps(void* context, std::uint64_t device, std::uint64_t inode)
{
    auto& keeping = *static_cast<Keeping*>(context);
    FileId id{device, inode};
    if (!holds(*keeping.files, id))
        return false;
    keeping.hit = id;
    return true;
}

bool FileOutput::write_named(tav::Result& result, const std::string& dir,
                             const std::string& relative, std::string& stop)
{
    // The inputs and the report are looked for only in a name that is
    // taken, where the write finds the file's identity anyway.
    Keeping keeping{&protected_, std::nullopt};
    tav::WriteRun run;
    if (!protected_.empty()) {
        run.keep = &FileOutput::keeps;
        run.keep_context = &keeping;
    }
    errno = 0;
    tav::write_file(result, dir, &run);
    int error = errno;
    if (keeping.hit) {
        const tav::MessageCode what = report_kept_ && keeping.hit == protected_.back()
                                          ? tav::MessageCode::OutputIsReport
                                          : tav::MessageCode::OutputIsInput;
        fail(result, what, {result.file_name});
        stop = tav::message_text(what, {root_ + relative});
        return false;
    }
    if (result.status != tav::Status::Failed)
        return true;
    const std::string& text = result.messages.back().text;
    bool written = result.messages.back().id == tav::MessageCode::CannotWriteFile;
    if (!written && !output_failed(error, dir))
        return true;
    stop = text + ": " + std::strerror(error != 0 ? error : EIO);
    return false;
}

bool FileOutput::write(tav::Result& result, std::int64_t seq, std::string& stop)
{
    if (result.status != tav::Status::Converted)
        return true;
    std::string relative = relative_path(result);
    std::string dir = dir_;
    if (shard_) {
        std::string shard = relative.substr(0, relative.find('/'));
        if (!make_shard(result, shard, stop))
            return stop.empty();
        dir = root_ + shard;
    }
    if (!shared_)
        return write_named(result, dir, relative, stop);
    if (!claim(relative, seq)) {
        // A later record has written the name: its file is the one to keep.
        result.status = tav::Status::Written;
        return true;
    }
    bool ok = write_named(result, dir, relative, stop);
    release(relative);
    return ok;
}

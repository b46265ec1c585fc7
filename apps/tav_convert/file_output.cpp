#include "file_output.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kPerShard = 1000;
constexpr std::size_t kShardSlots = std::size_t{INT32_MAX / kPerShard} + 1;

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
    std::error_code ec;
    fs::path dir = dir_.empty() ? fs::path(".") : fs::path(dir_);
    if (!dir_.empty()) {
        fs::create_directories(dir, ec);
        if (ec && !fs::is_directory(dir)) {
            error = "cannot create output folder " + dir_ + ": " + ec.message();
            return false;
        }
    }
    if (!fs::is_directory(dir, ec)) {
        error = "output folder " + dir_ + " is not a folder";
        return false;
    }
    canonical_dir_ = fs::canonical(dir, ec).generic_string();
    return true;
}

void FileOutput::protect(const std::string& input_path)
{
    std::error_code ec;
    fs::path input = fs::canonical(fs::path(input_path), ec);
    if (ec || canonical_dir_.empty())
        return;
    std::string relative = input.lexically_relative(fs::path(canonical_dir_)).generic_string();
    if (!relative.empty() && relative.compare(0, 2, "..") != 0)
        protected_.insert(relative);
}

std::string FileOutput::relative_path(const tav::Result& result) const
{
    if (!shard_ || result.file_name.empty())
        return result.file_name;
    return std::to_string(result.identifier / kPerShard) + '/' + result.file_name;
}

bool FileOutput::make_shard(std::int32_t identifier, const std::string& shard)
{
    std::atomic<unsigned char>* made =
        identifier >= 0 ? &shards_made_[static_cast<std::size_t>(identifier / kPerShard)]
                        : nullptr;
    if (made != nullptr && made->load(std::memory_order_acquire) != 0)
        return true;
    std::error_code ec;
    fs::path path = fs::path(root_ + shard);
    fs::create_directory(path, ec);
    if (ec && !fs::is_directory(path))
        return false;
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

void FileOutput::write(tav::Result& result, std::int64_t seq)
{
    if (result.status != tav::Status::Converted)
        return;
    std::string relative = relative_path(result);
    if (!protected_.empty() && protected_.count(relative) != 0) {
        result.messages.push_back(tav::Message{
            tav::MessageKind::Error, "output file " + result.file_name + " is an input file"});
        result.status = tav::Status::Failed;
        return;
    }
    std::string dir = dir_;
    if (shard_) {
        std::string shard = relative.substr(0, relative.find('/'));
        if (!make_shard(result.identifier, shard)) {
            result.messages.push_back(tav::Message{
                tav::MessageKind::Error, "cannot create output folder " + shard});
            result.status = tav::Status::Failed;
            return;
        }
        dir = root_ + shard;
    }
    if (!shared_) {
        tav::write_file(result, dir);
        return;
    }
    if (!claim(relative, seq)) {
        // A later record has written the name: its file is the one to keep.
        result.status = tav::Status::Written;
        return;
    }
    tav::write_file(result, dir);
    release(relative);
}

// An input of records into a folder of files: see file_run.h.

#include "file_run.h"

#include "tav/file_identity.h"
#include "tav/marcxml.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// An output can be the input only when the input is a regular file with one
// link (a link to the input is replaced rather than written through, and a
// file with several links is made afresh) and a record's file is its entry:
// in the output folder itself when the input's path is known, on the
// folder's device when only its descriptor `fd` is. Never where files have
// no identity (Windows): a name is the input only as the same path there.
bool clash_possible(int fd, const std::string& input_path, const std::string& folder)
{
    std::optional<tav::FileFacts> in = fd < 0 ? std::nullopt : tav::file_facts(fd);
    if (!in || !in->regular || in->links != 1)
        return false;
    std::optional<tav::FileFacts> dir = tav::file_facts(folder.empty() ? "." : folder.c_str(), true);
    if (!dir)
        return false;
    if (input_path.empty())
        return in->id.device == dir->id.device;
    std::error_code ec;
    std::filesystem::path real = std::filesystem::canonical(input_path, ec);
    return ec || tav::same_file(dir, tav::file_facts(real.parent_path().string().c_str(), true));
}

bool is_input(int fd, const std::string& path)
{
    return tav::same_file(tav::file_facts(fd), tav::file_facts(path.c_str(), false));
}

std::string in_folder(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

// The name of the first record whose file would be the input; empty when
// there is none. Reads the input once without converting, then rewinds it.
std::string find_input_clash(std::FILE* input, const std::string& folder,
                             const tav::Options& options)
{
    tav::Options names = options;
    names.parse_only = true;
    names.trace = nullptr;
    tav::Converter converter;
    std::string clash;
    tav::convert_stream(input, converter, names, [&](tav::Result& r) {
        if (!r.file_name.empty() && is_input(fileno(input), in_folder(folder, r.file_name)))
            clash = r.file_name;
        return clash.empty();
    });
    std::rewind(input);
    return clash;
}

// What every record of a run goes through: its file written (unless it
// would be the input, which stops the run), counted, and kept as a problem
// when it has messages.
class Records {
public:
    // `clash_fd`: the input's descriptor when a record's file may be the
    // input, else -1.
    Records(FileRun& run, const std::string& folder, int clash_fd)
        : run_(run), folder_(folder), clash_fd_(clash_fd)
    {
    }

    // A converted record (or one that failed), from a reader of records
    // when `item` is given; false when the run stops.
    bool take(long line, tav::Result& r, const tav::MarcxmlItem* item)
    {
        if (clash_fd_ >= 0 && !r.file_name.empty() &&
            is_input(clash_fd_, in_folder(folder_, r.file_name))) {
            run_.end = FileRun::End::InputClash;
            run_.clash = r.file_name;
            return false;
        }
        tav::write_file(r, folder_, &writes_);
        if (item != nullptr)
            tav::add_reader_warnings(item->warnings, r.messages);
        ++(r.status == tav::Status::Written ? run_.written : run_.failed);
        keep(line, r, item, false);
        return true;
    }

    // As the batch command reports them: a record the reader cannot read
    // fails; a field it passes over is no record, only its warning.
    void passed_over(const tav::MarcxmlItem& item)
    {
        const bool error = item.kind == tav::MarcxmlItem::Kind::Error;
        tav::Result unread;
        unread.messages.push_back(item.message);
        run_.failed += error ? 1 : 0;
        keep(static_cast<long>(item.line), unread, &item, true);
    }

    void blank() { ++run_.blank_lines; }
    // Whether the items name catalogue records (MARCXML).
    void set_catalogue(bool catalogue) { catalogue_ = catalogue; }

private:
    // A record with messages, kept with all but its document (in its file).
    void keep(long line, const tav::Result& r, const tav::MarcxmlItem* item, bool reader)
    {
        if (r.messages.empty())
            return;
        Problem p;
        p.line = line;
        p.result.status = r.status;
        p.result.file_name = r.file_name;
        p.result.messages = r.messages;
        p.result.identifier = r.identifier;
        p.result.number = r.number;
        if (item != nullptr && catalogue_) {
            p.catalogue = true;
            p.reader_message = reader;
            p.control_number = item->control_number;
            p.occurrence = item->occurrence;
        }
        run_.problems.push_back(std::move(p));
    }

    FileRun& run_;
    const std::string& folder_;
    int clash_fd_;
    bool catalogue_ = false;
    tav::WriteRun writes_;  // not started: it carries the cheaper way to open
};

// The incipits an input's reader of records gives (MARCXML's each with its
// record's description).
void convert_items(const tav::InputForm& form, std::unique_ptr<tav::InputStream> input,
                   Records& records, const tav::Options& options, FileRun& run)
{
    std::unique_ptr<tav::RecordSource> reader = form.open(std::move(input));
    records.set_catalogue(reader->catalogue());
    tav::Converter converter;
    tav::MarcxmlItem item;
    while (reader->next(item)) {
        if (item.kind != tav::MarcxmlItem::Kind::Incipit) {
            records.passed_over(item);
            continue;
        }
        converter.convert(item.record, options);
        if (!records.take(static_cast<long>(item.line), tav::last_result(converter), &item))
            return;
    }
    if (reader->read_failed()) {
        run.end = FileRun::End::ReadError;
        run.failure = reader->failure();
    }
}

// The records of a tab-separated input, one a line.
void convert_lines(tav::LineReader& lines, Records& records, const tav::Options& options,
                   FileRun& run)
{
    tav::Converter converter;
    for (long line = 1;; ++line) {
        tav::Result* r = nullptr;
        switch (lines.next()) {
        case tav::LineReader::Status::End: return;
        case tav::LineReader::Status::Error:
            run.end = FileRun::End::ReadError;
            run.failure = lines.failure();
            return;
        case tav::LineReader::Status::TooLong: r = &tav::line_too_long(converter); break;
        case tav::LineReader::Status::Line:
            r = &tav::convert_buffer(converter, lines.data(), lines.size(), options);
            break;
        }
        if (r->status == tav::Status::Blank)
            records.blank();
        else if (!records.take(line, *r, nullptr))
            return;
    }
}

// The form asked for, else the one the input's start is in.
const tav::InputForm& form_of(const tav::InputForm* form,
                              const std::function<std::string_view()>& start)
{
    return form != nullptr ? *form : tav::recognise_input_form(start());
}

void convert_path(const std::string& path, const std::string& folder,
                  const tav::Options& options, const tav::InputForm* asked, FileRun& run)
{
    std::unique_ptr<std::FILE, CloseFile> input(std::fopen(path.c_str(), "rb"));
    if (!input) {
        run.end = FileRun::End::CannotOpen;
        run.error = errno;
        return;
    }
    const int fd = fileno(input.get());
    const bool clash = clash_possible(fd, path, folder);
    // What the input is shows in its first bytes, which the reader of
    // either format then reads again, from a pipe too.
    auto lines = std::make_unique<tav::LineReader>(input.get());
    const tav::InputForm& form = form_of(asked, [&] { return lines->peek(); });
    if (form.open != nullptr) {
        Records records(run, folder, clash ? fd : -1);
        convert_items(form, lines->release_input(), records, options, run);
        return;
    }
    if (clash) {
        // A regular file: read through once first, so that nothing is
        // written when a record's file would be the input.
        std::rewind(input.get());
        run.clash = find_input_clash(input.get(), folder, options);
        if (!run.clash.empty()) {
            run.end = FileRun::End::InputClash;
            return;
        }
        lines = std::make_unique<tav::LineReader>(input.get());
    }
    Records records(run, folder, -1);
    convert_lines(*lines, records, options, run);
}

}  // namespace

FileRun convert_file(const FileInput& input, const std::string& folder,
                     const tav::Options& options, const tav::InputForm* asked)
{
    FileRun run;
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            run.end = FileRun::End::CannotMakeFolder;
            run.error = ec.value();
            return run;
        }
    }
    if (!input.read) {
        convert_path(input.path, folder, options, asked, run);
        return run;
    }
    auto stream = std::make_unique<tav::InputStream>(input.read);
    Records records(run, folder, clash_possible(input.fd, {}, folder) ? input.fd : -1);
    const tav::InputForm& form = form_of(asked, [&] { return stream->peek(); });
    if (form.open != nullptr) {
        convert_items(form, std::move(stream), records, options, run);
    } else {
        tav::LineReader lines(std::move(stream));
        convert_lines(lines, records, options, run);
    }
    return run;
}

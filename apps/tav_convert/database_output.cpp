#include "database_output.h"

#include "run_report.h"

std::shared_ptr<tav::db::Incipit> incipit_fields(const tav::Record& record)
{
    auto in = std::make_shared<tav::db::Incipit>();
    const tav::Description& d = record.description;
    in->composer = d.composer.str();
    in->work_title = d.work_title.str();
    in->movement_title = d.movement_title;
    in->siglum = d.source_or_empty().siglum;
    in->shelfmark = d.source_or_empty().shelfmark;
    in->clef = record.clef;
    in->key = record.key;
    in->key_or_mode = d.key_or_mode;
    in->time = record.time;
    in->music = record.music;
    return in;
}

std::shared_ptr<tav::db::Incipit> incipit_fields(std::string_view line)
{
    return incipit_fields(tav::read_record(line).record);
}

void complete_incipit(tav::db::Incipit& incipit, tav::Result& result, std::string_view document)
{
    incipit.document = result.document.empty() ? std::string(document) : result.document;
    incipit.file_name = result.file_name;
    incipit.melody = std::move(result.melody);
}

bool DatabaseOutput::open(const std::string& path, std::string& error)
{
    path_ = path;
    return writer_.open(path, error);
}

void DatabaseOutput::add(const Outcome& o)
{
    if (!failure_.empty() || o.reader_message || o.status == tav::Status::Blank)
        return;
    tav::db::Incipit empty;
    tav::db::Incipit& in = o.incipit != nullptr ? *o.incipit : empty;
    in.identifier = std::to_string(o.identifier);
    in.number = o.number;
    in.control_number = o.control_number;
    in.occurrence = o.occurrence;
    bool converted = o.status == tav::Status::Converted || o.status == tav::Status::Written;
    in.status = converted ? "converted" : tav::status_name(o.status);
    in.messages.clear();
    for (const tav::Message& m : o.messages)
        in.messages += std::string(tav::kind_name(m.kind)) + ": " + m.text + '\n';
    writer_.add(in, failure_);
    // Written: the document and keys need not wait for the end of the run.
    if (o.incipit != nullptr)
        *o.incipit = tav::db::Incipit();
}

bool DatabaseOutput::finish(bool keep, std::string& error)
{
    if (!failure_.empty()) {
        error = failure_ + "; the database " + path_ + " is left as it was";
        return false;
    }
    if (!keep) {
        error = "the run did not end well: the database " + path_ + " is left as it was";
        return false;
    }
    return writer_.commit(error);
}

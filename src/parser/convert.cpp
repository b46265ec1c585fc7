// One record from line to file: the blank-line test, the header, the scan
// of the music data, and the hand-over to the writer.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "parser/convert.h"
#include "parser/handlers.h"
#include "writer/output.h"

ParseStatus parse_incipit(char* buffer, int32_t size, const ConvertOptions& options,
                          const Console& console, Incipit& incipit)
{
    Line line = make_line(buffer, size);
    if (line.at(0) == '\n' || line.at(0) == '\r') {
        if (console.out != nullptr)
            std::fputs("\nEOF, quitting\n", console.out);
        return ParseStatus::Blank;
    }

    ScanState s(options, console);
    if (read_header(s, line))
        scan_music(s, line, size);
    if (!s.record_failed)
        settle_durations(s);

    destroy_rhythm(s.pending_time);
    end_pattern(s);
    if (s.record_failed) {
        destroy_measure(s.first_measure);
        return ParseStatus::Failed;
    }
    incipit.first_measure = s.first_measure;
    incipit.divisions = s.divisions;
    incipit.incipit_id = s.incipit_id;
    std::memcpy(incipit.incipit_nb, s.incipit_nb, sizeof incipit.incipit_nb);
    incipit.mensural = s.mensural;
    incipit.corrected_key = s.corrected_key;
    return ParseStatus::Parsed;
}

RecordResult convert_record(char* line, int32_t size, const ConvertOptions& options,
                            const Console& console)
{
    Incipit incipit;
    switch (parse_incipit(line, size, options, console, incipit)) {
    case ParseStatus::Blank: return RecordResult::EndOfRun;
    case ParseStatus::Failed: return RecordResult::Failed;
    case ParseStatus::Parsed: break;
    }
    if (options.no_xml == 1) {
        destroy_measure(incipit.first_measure);
        return RecordResult::Discarded;
    }

    bool replaced_earlier = false;
    OutputStatus status = output(incipit.first_measure, incipit.divisions, incipit.incipit_id,
                                 incipit.incipit_nb, incipit.mensural, incipit.corrected_key,
                                 options.files, &replaced_earlier);
    if (replaced_earlier)
        report_warning(console, incipit.incipit_id, incipit.incipit_nb,
                       ("output file " + output_file_name(incipit.incipit_id, incipit.incipit_nb) +
                        " written twice in this run, the earlier file is replaced")
                           .c_str());
    if (status == OutputStatus::Written)
        return RecordResult::Written;

    std::string reason;
    std::string name = output_file_name(incipit.incipit_id, incipit.incipit_nb);
    switch (status) {
    case OutputStatus::UnsafeName: reason = "incipit number is not a safe file name"; break;
    case OutputStatus::NotXmlText:
        reason = "incipit number holds a character that XML cannot carry";
        break;
    case OutputStatus::CannotCreate: reason = "cannot create output file " + name; break;
    default: reason = "cannot write output file " + name; break;
    }
    report_record_error(console, incipit.incipit_id, incipit.incipit_nb, reason.c_str());
    return RecordResult::Failed;
}

void convert_incipit(char* line, int32_t size, int remove_mensural, int remove_measure_rests,
                     int verbose, int no_xml)
{
    ConvertOptions options{remove_mensural, remove_measure_rests, verbose, no_xml};
    Console console{stdout, stderr, errlog};
    if (convert_record(line, size, options, console) == RecordResult::EndOfRun)
        std::exit(0);
}

#include "hits_output.h"

#include <algorithm>
#include <cstdio>

#include "json_text.h"

namespace {

void member(std::string& out, const char* name, const std::string& text)
{
    out += '"';
    out += name;
    out += "\":\"";
    append_json_string(out, text);
    out += "\",";
}

std::string score_text(double score)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", score);
    return text;
}

// A cell of the table: control bytes shown as spaces, so that a row stays
// one line.
std::string cell(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return out;
}

}  // namespace

void append_hits_json(std::string& out, const std::vector<tav::db::Hit>& hits,
                      const std::string* query)
{
    for (const tav::db::Hit& h : hits) {
        out += '{';
        if (query != nullptr)
            member(out, "query", *query);
        member(out, "identifier", h.identifier);
        member(out, "number", h.number);
        member(out, "control_number", h.control_number);
        out += "\"occurrence\":" + std::to_string(h.occurrence) + ',';
        member(out, "composer", h.composer);
        member(out, "work_title", h.work_title);
        member(out, "movement_title", h.movement_title);
        member(out, "siglum", h.siglum);
        member(out, "shelfmark", h.shelfmark);
        out += "\"note\":" + std::to_string(h.note) + ",\"exact\":" + (h.exact ? "true" : "false") +
               ",\"score\":" + score_text(h.score) + "}\n";
    }
}

void append_hits_table(std::string& out, const std::vector<tav::db::Hit>& hits)
{
    if (hits.empty())
        return;
    std::vector<std::vector<std::string>> rows = {
        {"incipit", "note", "score", "exact", "composer", "title", "source"}};
    for (const tav::db::Hit& h : hits) {
        std::string title = h.work_title;
        if (!h.movement_title.empty())
            title += (title.empty() ? "" : " / ") + h.movement_title;
        std::string source = h.siglum + (h.siglum.empty() || h.shelfmark.empty() ? "" : " ") +
                             h.shelfmark;
        rows.push_back({h.identifier + '-' + h.number, std::to_string(h.note), score_text(h.score),
                        h.exact ? "yes" : "no", cell(h.composer), cell(title), cell(source)});
    }
    std::vector<std::size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows)
        for (std::size_t k = 0; k < row.size(); ++k)
            widths[k] = std::max(widths[k], row[k].size());
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t k = 0; k < row.size(); ++k) {
            line += row[k];
            if (k + 1 < row.size())
                line += std::string(widths[k] - row[k].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + '\n';
    }
}

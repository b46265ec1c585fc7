// A DocumentBuffer is written over document after document: each document
// must come out exactly as it does on its own, whatever longer or shorter
// text the buffer held before.

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using test_support::Parsed;
using test_support::parse_music;

std::string render_alone(const Incipit& i)
{
    std::string text;
    render_score(i.first_measure, i.divisions, i.incipit_id, i.incipit_nb, i.mensural,
                 i.corrected_key, text);
    return text;
}

TEST(DocumentBuffer, EachDocumentReplacesThePreviousOne)
{
    std::string many_notes;
    for (int k = 0; k < 400; ++k)
        many_notes += "{6(ABC)xD}/";
    const char* const records[] = {
        many_notes.c_str(),   // grows the buffer far beyond a usual document
        "4C//",               // then a short one over it
        "'8.6{ABCD}/qqABr(4C)t+D/=3/",
        "",                   // measure 1 only
        many_notes.c_str(),
    };
    DocumentBuffer buffer;
    for (const char* music : records) {
        SCOPED_TRACE(std::string(music).substr(0, 40));
        Parsed p;
        parse_music(p, music);
        ASSERT_TRUE(p.ok());
        const Incipit& i = p.incipit;
        render_score(i.first_measure, i.divisions, i.incipit_id, i.incipit_nb, i.mensural,
                     i.corrected_key, buffer);
        ASSERT_LE(buffer.length, buffer.bytes.size());
        EXPECT_EQ(std::string(buffer.bytes.data(), buffer.length), render_alone(i));
    }
}

}  // namespace

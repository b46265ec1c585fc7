// A measure's marks, read in one walk, and its changes place by place.

#include "score/measure_marks.h"

namespace tav::detail {

MeasureMarks read_measure_marks(const Measure* measure)
{
    MeasureMarks marks;
    for (const Attribute* a = measure->first_attribute; a != nullptr; a = a->next) {
        ++marks.count;
        switch (a->kind) {
        case ATTR_REPEAT_START: marks.repeat_start = true; break;
        case ATTR_BAR_DOUBLE:
        case ATTR_BAR_FINAL:
        case ATTR_REPEAT_END:
            if (marks.right_bar == nullptr)
                marks.right_bar = a;
            break;
        case ATTR_AT_NOTE:
            if (marks.first_place == nullptr)
                marks.first_place = a;
            break;
        case ATTR_TIME_HERE: marks.time_place = a; break;
        default: break;
        }
    }
    return marks;
}

Changes changes_from(const Attribute* from, const MeasureMarks& marks, bool at_start)
{
    Changes c;
    c.time = at_start && marks.time_place == nullptr;
    for (const Attribute* a = from; a != nullptr; a = a->next) {
        switch (a->kind) {
        case ATTR_AT_NOTE: c.next_place = a; return c;
        case ATTR_KEY:
            if (c.key == nullptr)
                c.key = a;
            break;
        case ATTR_CLEF_G:
        case ATTR_CLEF_F:
        case ATTR_CLEF_C:
        case ATTR_CLEF_G8: c.clef = a; break;
        case ATTR_MULTIPLE_REST:
            if (c.rest == nullptr)
                c.rest = a;
            break;
        case ATTR_TIME_HERE: c.time = c.time || a == marks.time_place; break;
        default: break;
        }
    }
    return c;
}

}  // namespace tav::detail

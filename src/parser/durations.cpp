// The lengths of measure rests.

#include <cstdint>

#include "parser/convert.h"
#include "parser/handlers.h"

namespace tav::detail {

float measure_quarters(const Rhythm* time)
{
    if (time == nullptr || time->mensural != 0 || time->beats < 1 || time->beats > 9999)
        return 4.0f;
    switch (time->beat_type) {
    case 1: case 2: case 4: case 8: case 16: case 32: case 64:
        return static_cast<float>(time->beats) * 4.0f / static_cast<float>(time->beat_type);
    default: return 4.0f;
    }
}

}  // namespace tav::detail

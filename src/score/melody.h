// The melody a search reads from a score (tav/melody.h says what it holds).
#pragma once

#include "score/incipit.h"
#include "tav/melody.h"

namespace tav::detail {

// The score's melody, written over `out`, which keeps its storage.
void read_melody(const Incipit& score, Melody& out);

}  // namespace tav::detail

#include <gtest/gtest.h>

#include "score/score.h"

TEST(Score, Placeholder) { SUCCEED(); }

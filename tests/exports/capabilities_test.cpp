#include <gtest/gtest.h>

#include "tests/exports/plugin_fixture.h"

TEST(Capabilities, AnswersSeveralFilesByContentAndSearchable) { EXPECT_EQ(Plugin().getPackerCaps(), 196); }

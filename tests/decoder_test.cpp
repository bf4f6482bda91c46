#include "tesktoqvx.h"

#include <gtest/gtest.h>

TEST(Decoder, Placeholder) { SUCCEED(); }

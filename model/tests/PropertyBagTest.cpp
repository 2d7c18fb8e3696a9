#include <gtest/gtest.h>
TEST(Bag, Placeholder) {}

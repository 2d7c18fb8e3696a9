#include <gtest/gtest.h>
TEST(Model, Placeholder) {}

// The names of the product types GetProductInfo reports, and the gaps in
// their table.
#include <gtest/gtest.h>

#include "system/kv_system.h"

namespace {

using kvutil::KVSystem;

TEST(SystemVersionDetailTest, ProductTypeTableRowsAndGaps) {
  EXPECT_EQ(KVSystem::ProductTypeName(0), L"An unknown product");
  EXPECT_EQ(KVSystem::ProductTypeName(2), L"Home Basic ");
  EXPECT_EQ(KVSystem::ProductTypeName(54), KVSystem::ProductTypeName(55));
  EXPECT_EQ(KVSystem::ProductTypeName(11), L"Starter");
  EXPECT_EQ(KVSystem::ProductTypeName(64), L"Starter");
  EXPECT_EQ(KVSystem::ProductTypeName(60), L"Windows Essential Server Solution Additiona");
  EXPECT_EQ(KVSystem::ProductTypeName(125), L"Enterprise 2015 LTSB");
  for (unsigned gap : {57u, 58u, 65u, 120u, 124u, 160u, 163u, 0xFFFFu}) {
    EXPECT_EQ(KVSystem::ProductTypeName(gap), L"Not supported") << gap;
  }
}

}  // namespace

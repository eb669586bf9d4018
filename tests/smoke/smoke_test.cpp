#include <windows.h>
#include <gtest/gtest.h>
#include <boost/shared_ptr.hpp>
#include <unzip.h>
TEST(Smoke, LoadsDll) {
  HMODULE m = LoadLibraryW(L"Slidewarp.dll");
  EXPECT_NE(m, nullptr);
  boost::shared_ptr<int> p(new int(3));
  EXPECT_EQ(*p, 3);
  EXPECT_EQ(unzOpen64("nonexistent.zip"), nullptr);
}

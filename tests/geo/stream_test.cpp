#include "geo/stream.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace wy {
namespace {

TEST(MemoryStream, WritesAtThePositionAndGrows) {
  TMemoryStream s(std::string("abcd"));
  EXPECT_EQ(s.Position(), 0);
  s.SetPosition(2);
  s.WriteString("XYZ");
  EXPECT_EQ(s.DataString(), "abXYZ");
  EXPECT_EQ(s.Position(), 5);
  s.SetPosition(7);  // past the end: the gap is zero-filled on write
  s.WriteString("!");
  EXPECT_EQ(s.DataString(), std::string("abXYZ\0\0!", 8));
  char buf[4];
  EXPECT_EQ(s.Read(buf, 4), 0u);  // at the end
  EXPECT_EQ(s.Seek(-3, soEnd), 5);
  EXPECT_EQ(s.Read(buf, 4), 3u);
  EXPECT_EQ(s.Seek(-100, soCurrent), 0);
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.DataString(), "ab");
}

TEST(MemoryStream, FileRoundTripAndMissingFile) {
  const std::string path = ::testing::TempDir() + "wy_stream_test.bin";
  TMemoryStream out(std::string("\x00\x01\xFFzz", 5));
  ASSERT_TRUE(out.SaveToFile(path));
  TMemoryStream in(std::string("old"));
  ASSERT_TRUE(in.LoadFromFile(path));
  EXPECT_EQ(in.DataString(), out.DataString());
  std::remove(path.c_str());
  EXPECT_FALSE(in.LoadFromFile(path));
  EXPECT_EQ(in.DataString(), out.DataString());  // unchanged on failure
}

}  // namespace
}  // namespace wy

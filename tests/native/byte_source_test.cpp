// The one seam every parser reads through: a file (C stdio here, the real mmio under
// Wine) and bytes in memory must keep the same promises, or a parser would read a
// file differently from the fuzzers' and tests' memory. Built natively and for Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/byte_source.h"
#include "scratch_dir.h"

namespace tonvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ByteSourceTest : public testing::ScratchDirTest {
 protected:
  // Longer than mmio's own 8 KiB buffer, so reads and seeks cross its refills.
  static Bytes Pattern() {
    Bytes bytes(40000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
  }
  static Bytes ReadAt(IByteSource& source, std::int64_t position, std::int32_t count) {
    Bytes out(static_cast<std::size_t>(count));
    EXPECT_TRUE(source.Seek(position));
    const std::int32_t n = source.Read(out.data(), count);
    out.resize(static_cast<std::size_t>(n < 0 ? 0 : n));
    return out;
  }
};

TEST_F(ByteSourceTest, FileAndMemoryKeepTheSamePromises) {
  const Bytes bytes = Pattern();
  const auto file = OpenFileSource(Write("pattern.bin", bytes));
  ASSERT_NE(file, nullptr);
  TMemorySource memory(bytes.data(), bytes.size());
  for (IByteSource* source : {file.get(), static_cast<IByteSource*>(&memory)}) {
    SCOPED_TRACE(source == &memory ? "memory" : "file");
    EXPECT_EQ(source->Tell(), 0);
    Bytes head(100);
    ASSERT_EQ(source->Read(head.data(), 100), 100);
    EXPECT_EQ(head, Bytes(bytes.begin(), bytes.begin() + 100));
    // Measuring the size leaves the position where it was.
    EXPECT_EQ(source->Size(), 40000);
    EXPECT_EQ(source->Tell(), 100);
    EXPECT_EQ(source->Read(head.data(), 0), 0);
    EXPECT_EQ(source->Tell(), 100);

    EXPECT_EQ(ReadAt(*source, 12345, 20000), Bytes(bytes.begin() + 12345, bytes.begin() + 32345));
    EXPECT_EQ(source->Tell(), 32345);
    EXPECT_EQ(ReadAt(*source, 5, 3), Bytes(bytes.begin() + 5, bytes.begin() + 8)) << "backwards";
    // Short at the end, then nothing; past the end is a place to be, with nothing there.
    EXPECT_EQ(ReadAt(*source, 39990, 100), Bytes(bytes.end() - 10, bytes.end()));
    EXPECT_EQ(source->Tell(), 40000);
    EXPECT_EQ(source->Read(head.data(), 100), 0);
    EXPECT_TRUE(ReadAt(*source, 50000, 100).empty());
    EXPECT_EQ(source->Tell(), 50000);
    EXPECT_FALSE(source->Seek(-1));
  }
}

TEST_F(ByteSourceTest, EmptyAndMissing) {
  const auto empty = OpenFileSource(Write("empty.bin", {}));
  ASSERT_NE(empty, nullptr);
  TMemorySource none(nullptr, 0);
  for (IByteSource* source : {empty.get(), static_cast<IByteSource*>(&none)}) {
    std::uint8_t byte = 0;
    EXPECT_EQ(source->Size(), 0);
    EXPECT_EQ(source->Read(&byte, 1), 0);
  }
  EXPECT_EQ(OpenFileSource(Path("missing.bin")), nullptr);
}

}  // namespace
}  // namespace tonvane

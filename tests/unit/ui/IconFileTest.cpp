// The icon file that the resource script builds into the program, as scripts/make-icon.sh made it.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

namespace {

std::uint16_t word(std::vector<unsigned char> const& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}
std::uint32_t dword(std::vector<unsigned char> const& bytes, std::size_t at) {
    return word(bytes, at) | static_cast<std::uint32_t>(word(bytes, at + 2)) << 16;
}

}  // namespace

TEST(IconFile, HoldsTheNineImagesInSizeAndDepthAndEachLiesInsideTheFile) {
    std::ifstream file(TESSIVANE_ICON_FILE, std::ios::binary);
    ASSERT_TRUE(file) << TESSIVANE_ICON_FILE;
    std::vector<unsigned char> const bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(word(bytes, 0), 0);  // reserved
    EXPECT_EQ(word(bytes, 2), 1);  // an icon, not a cursor
    std::uint16_t const count = word(bytes, 4);
    std::vector<std::tuple<int, int, int>> images;  // width, height, bits per pixel
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t const entry = 6 + 16 * i;
        int const width = bytes.at(entry) == 0 ? 256 : bytes.at(entry);
        int const height = bytes.at(entry + 1) == 0 ? 256 : bytes.at(entry + 1);
        images.emplace_back(width, height, word(bytes, entry + 6));
        std::uint32_t const size = dword(bytes, entry + 8);
        std::uint32_t const offset = dword(bytes, entry + 12);
        EXPECT_GT(size, 0u);
        EXPECT_LE(std::uint64_t(offset) + size, bytes.size()) << "image " << i;
    }
    std::vector<std::tuple<int, int, int>> const nine = {
        {256, 256, 8}, {48, 48, 8}, {32, 32, 8}, {16, 16, 8},
        {256, 256, 32}, {64, 64, 32}, {48, 48, 32}, {32, 32, 32}, {16, 16, 32}};
    EXPECT_EQ(images, nine);
}

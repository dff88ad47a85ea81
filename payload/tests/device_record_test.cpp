#include "payload/device_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <bzlib.h>
#endif

namespace {

int CountImages(const DeviceRecord& record) {
    int n = 0;
    while (n < kMaxImages && record.images[n].data != nullptr)
        ++n;
    return n;
}

std::uint32_t BigEndianWordSum(const std::uint8_t* bytes, std::uint32_t length) {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    return sum;
}

TEST(DeviceRecord, IdentifiesTheQtv40z6) {
    EXPECT_STREQ(device_record.model, "QTV40z6");
    EXPECT_EQ(device_record.type, 0x42);
    const std::vector<std::uint8_t> subtypes(device_record.subtypes, device_record.subtypes + 8);
    EXPECT_EQ(subtypes,
              (std::vector<std::uint8_t>{0x0E, 0x0F, 0x12, 0x13, 0x1C, 0x1B, 0x1D, 0xFF}));
    EXPECT_EQ(device_record.version, 0x0787);
    EXPECT_STREQ(device_record.description, "HDMI-to-SDI Converter");
}

TEST(DeviceRecord, ImageListHoldsFlashThenMcuImageAndEnds) {
    ASSERT_EQ(CountImages(device_record), 2);
    const ImageEntry& flash = device_record.images[0];
    const ImageEntry& mcu = device_record.images[1];
    EXPECT_EQ(flash.flash_address, 0x0u);
    EXPECT_EQ(flash.flags, IMAGE_COMPRESSED);
    EXPECT_EQ(std::memcmp(flash.data, "BZh9", 4), 0) << "one bzip2 stream with 900k blocks";
    EXPECT_EQ(mcu.flash_address, 0xD0000u);
    EXPECT_EQ(mcu.flags, IMAGE_CHECKSUMMED);
    EXPECT_EQ(device_record.images[2].length, 0u);
    EXPECT_EQ(device_record.images[2].flags, 0u);
}

#ifdef ZC_STANDIN_PAYLOAD
TEST(StandinImages, McuImageHasTheSlotsVersionAndWordSumOfTheRealOne) {
    const ImageEntry& mcu = device_record.images[1];
    ASSERT_EQ(mcu.length, 0xFBFCu);
    const std::uint8_t* b = mcu.data;
    EXPECT_EQ(std::vector<int>(b, b + 3), (std::vector<int>{0x02, 0x00, 0x0E}));
    EXPECT_EQ(b[0xF7FC] << 8 | b[0xF7FD], 0x0000);
    EXPECT_EQ(b[0xF7FE] << 8 | b[0xF7FF], 0x0787);
    EXPECT_EQ(b[mcu.length - 512] << 8 | b[mcu.length - 511], 0xFFFF);
    EXPECT_EQ(BigEndianWordSum(b, mcu.length), 0x4F0D8A61u);
}
#endif

#ifndef _WIN32
std::vector<char> ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EmbeddedBlobs, FlashImageDecodesToTheInputFile) {
    const std::vector<char> expected =
        ReadWhole(std::string(ZC_PAYLOAD_INPUTS) + "/flash_image.bin");
    ASSERT_FALSE(expected.empty());
    std::vector<char> decoded(expected.size() + 1);
    unsigned int decoded_length = static_cast<unsigned int>(decoded.size());
    const ImageEntry& flash = device_record.images[0];
    ASSERT_EQ(
        BZ2_bzBuffToBuffDecompress(decoded.data(), &decoded_length,
                                   reinterpret_cast<char*>(const_cast<std::uint8_t*>(flash.data)),
                                   flash.length, 0, 0),
        BZ_OK);
    decoded.resize(decoded_length);
    EXPECT_TRUE(decoded == expected);
}

#ifdef ZC_STANDIN_PAYLOAD
TEST(StandinImages, FlashImageLooksLikeABitstreamAndCompressesLikeOne) {
    const std::vector<char> image = ReadWhole(std::string(ZC_PAYLOAD_INPUTS) + "/flash_image.bin");
    ASSERT_EQ(image.size(), 802570u);
    const std::vector<unsigned char> head(image.begin(), image.begin() + 20);
    std::vector<unsigned char> expected(16, 0xFF);
    expected.insert(expected.end(), {0xAA, 0x99, 0x55, 0x66});
    EXPECT_EQ(head, expected);
    const double ratio = static_cast<double>(image.size()) / device_record.images[0].length;
    EXPECT_GT(ratio, 3.0);
    EXPECT_LT(ratio, 5.0);
}
#endif
#endif

} // namespace

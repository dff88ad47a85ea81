// Image passes against the simulated module: the requests, the flash they leave, the
// exchanges they cost, and the faults the verify pass must catch.
#include "link/flash_commands.h"
#include "link/link.h"
#include "link/tests/scripted_usb.h"
#include "payload/bz2_decoder.h"
#include "payload/device_record.h"
#include "sim/inprocess/sim_door.h"
#include "tests/support/progress_recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

Bytes tapped; // every byte written to the module since the tap was set
SiWriteFn door_write;

SiStatus USB_CALL TappedWrite(SiHandle handle, const void* buffer, std::uint32_t count,
                              std::uint32_t* written, void* overlapped) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    tapped.insert(tapped.end(), bytes, bytes + count);
    return door_write(handle, buffer, count, written, overlapped);
}

struct RequestCounts {
    int erase = 0;
    int program = 0;
    int verify = 0; // read command and read-back, two per chunk
    int other = 0;
};

class SimFlashTest : public testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }

    // Plugs module A17, opens it and unlocks its flash; requests are tapped from here.
    void Start(const std::string& extra_config = "") {
        SimDoorStop();
        std::string error;
        ASSERT_EQ(SimDoorStart("[A17]\n" + extra_config, &error), 0) << error;
        SimDoorFillUsbLibrary();
        ASSERT_EQ(usb_library.SI_Open(0, &DeviceHandle), 0);
        usb_library.SI_SetTimeouts(0xFFFFFF, 0xFFFFFF);
        LinkSequence = 0x10; // the module checks that each request follows on
        testing::internal::CaptureStdout();
        ASSERT_EQ(UnlockFlash(DeviceHandle), 0);
        testing::internal::GetCapturedStdout();
        tapped.clear();
        door_write = usb_library.SI_Write;
        usb_library.SI_Write = TappedWrite;
        exchanges_before = SimDoorExchangeCount();
        recorded_progress.clear();
    }
    std::vector<Bytes> Requests() const {
        Bytes copy = tapped;
        return TakeRequestBodies(copy);
    }
    RequestCounts Counts() const {
        RequestCounts counts;
        for (const Bytes& body : Requests()) {
            if (body.size() < 7 || body[6] != FlashPort)
                ++counts.other;
            else if (body[1] == AccessRead || body[8] == kFlashRead)
                ++counts.verify;
            else if (body[8] == kFlashErase)
                ++counts.erase;
            else if (body[8] == kFlashProgram)
                ++counts.program;
            else
                ++counts.other;
        }
        return counts;
    }
    std::vector<std::uint32_t> ErasedBlocks() const {
        std::vector<std::uint32_t> blocks;
        for (const Bytes& body : Requests()) {
            if (body.size() >= 12 && body[8] == kFlashErase)
                blocks.push_back(std::uint32_t{body[9]} << 16 | body[10] << 8 | body[11]);
        }
        return blocks;
    }
    Bytes Flash(std::uint32_t address, std::uint32_t size) const {
        const auto flash = SimDoorFlash("A17");
        return Bytes(flash.begin() + address, flash.begin() + address + size);
    }
    std::int32_t WriteImage(std::uint32_t address, const Bytes& image, std::uint32_t total,
                            std::uint32_t& done) {
        testing::internal::CaptureStdout();
        const std::int32_t result =
            WriteFlashImage(DeviceHandle, address, static_cast<std::uint32_t>(image.size()),
                            image.data(), total, done);
        trace = testing::internal::GetCapturedStdout();
        return result;
    }
    std::int32_t WriteMcu(const Bytes& image, std::int32_t version, std::uint32_t& done) {
        const auto size = static_cast<std::uint32_t>(image.size());
        testing::internal::CaptureStdout();
        const std::int32_t result =
            WriteMcuImage(DeviceHandle, 0xD0000, size, image.data(), 2 * (size + 4), done, version);
        trace = testing::internal::GetCapturedStdout();
        return result;
    }
    // The restart request, and time enough for the module to leave and boot again.
    static void Restart() {
        const std::uint8_t restart[] = {0x01, 0xAA};
        ASSERT_EQ(LinkSend(DeviceHandle, FlashPort, AccessWrite, 2, restart), 0);
        SimDoorAdvanceUs(10'000'000);
    }

    std::uint64_t exchanges_before = 0;
    std::string trace;
};

Bytes Pattern(std::size_t size) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 2 + 4); // bit 0 clear: a stuck bit shows
    return data;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes DecodedFlashImage() {
    const ImageEntry& entry = device_record.images[0];
    std::uint32_t length = 0;
    std::uint8_t* decoded = Bz2DecodeToHeap(entry.data, entry.length, &length);
    if (decoded == nullptr)
        return {};
    Bytes image(decoded, decoded + length);
    std::free(decoded);
    return image;
}

Bytes CarriedMcuImage() {
    const ImageEntry& entry = device_record.images[1];
    return Bytes(entry.data, entry.data + entry.length);
}

// First offset from `from` whose byte has bit 0 clear.
std::uint32_t EvenByteFrom(const Bytes& bytes, std::uint32_t from) {
    while ((bytes.at(from) & 1) != 0)
        ++from;
    return from;
}

TEST_F(SimFlashTest, TwoHundredByteImageRequestByRequest) {
    Start();
    const Bytes data = Pattern(200); // exactly 200: reading past it is caught
    std::uint32_t done = 0;
    ASSERT_EQ(WriteImage(0xD0000, data, 400, done), 0);
    EXPECT_EQ(trace, "Erasing address: 0d0000\nread 8 bytes: ff 06 00 0f 00 00 11 04 \n\n\n");
    const Bytes first(data.begin(), data.begin() + 128);
    const Bytes second(data.begin() + 128, data.end());
    const std::vector<Bytes> expected = {
        RequestBody(AccessWrite, 0x11, 0x30, {0x04, 0xD8, 0x0D, 0x00, 0x00}),
        RequestBody(AccessWrite, 0x12, 0x30, Concat({{0x84, 0x02, 0x0D, 0x00, 0x00}, first})),
        RequestBody(AccessWrite, 0x13, 0x30,
                    Concat({{0x84, 0x02, 0x0D, 0x00, 0x80}, second, Bytes(56, 0xFF)})),
        RequestBody(AccessWrite, 0x14, 0x30, {0x04, 0x03, 0x0D, 0x00, 0x00}),
        RequestBody(AccessRead, 0x15, 0x30, {}),
        RequestBody(AccessWrite, 0x16, 0x30, {0x04, 0x03, 0x0D, 0x00, 0x80}),
        RequestBody(AccessRead, 0x17, 0x30, {}),
    };
    EXPECT_EQ(Requests(), expected);
    EXPECT_EQ(Flash(0xD0000, 256), Concat({data, Bytes(56, 0xFF)}));
    EXPECT_EQ(done, 400u);
    EXPECT_EQ(recorded_progress, (std::vector<std::int32_t>{32, 50, 82, 95}));
    EXPECT_EQ(SimDoorViolationCount(), 0);
}

TEST_F(SimFlashTest, EraseRequestsCoverTheImageIn64KiBBlocks) {
    Start();
    std::uint32_t done = 0;
    ASSERT_EQ(WriteImage(0x20000, Pattern(0x10000), 1, done), 0);
    EXPECT_EQ(ErasedBlocks(), (std::vector<std::uint32_t>{0x20000}));
    tapped.clear();
    ASSERT_EQ(WriteImage(0x20000, Pattern(0x10001), 1, done), 0);
    EXPECT_EQ(ErasedBlocks(), (std::vector<std::uint32_t>{0x20000, 0x30000}));
}

TEST_F(SimFlashTest, ProgressStopsAt95) {
    Start();
    std::uint32_t done = 900;
    ASSERT_EQ(WriteImage(0, Pattern(128), 1000, done), 0);
    EXPECT_EQ(recorded_progress, (std::vector<std::int32_t>{95, 95}));
    EXPECT_EQ(done, 1156u);

    recorded_progress.clear();
    ASSERT_EQ(WriteImage(0, Pattern(128), 0, done), 0) << "a zero total must not divide";
    EXPECT_EQ(recorded_progress, (std::vector<std::int32_t>{95, 95}));
}

TEST_F(SimFlashTest, EveryDifferingByteIsTracedBeforeTheChunkFails) {
    Start("fault = stuck-bit@d0005, stuck-bit@d0064\n");
    const Bytes data = Pattern(384);
    std::uint32_t done = 0;
    EXPECT_EQ(WriteImage(0xD0000, data, 768, done), -1);
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "\n\n   d0005 got: %02x expected %02x\n   d0064 got: %02x expected %02x\n",
                  data[5] | 1, data[5], data[100] | 1, data[100]);
    // After the erase's reply line and the newline that ends the program pass.
    EXPECT_EQ(trace.substr(trace.find('\n', trace.find("read "))), expected);
    EXPECT_EQ(Counts().verify, 2) << "the pass ends with the chunk that held them";
    EXPECT_EQ(done, 384u + 128);
}

TEST_F(SimFlashTest, FlashImageLandsWithTheMinimumOfExchanges) {
    const Bytes image = DecodedFlashImage();
    ASSERT_EQ(image.size(), 802570u);
    Start();
    const auto size = static_cast<std::uint32_t>(image.size());
    std::uint32_t done = 0;
    ASSERT_EQ(WriteImage(0, image, 2 * size, done), 0);
    EXPECT_TRUE(Flash(0, size) == image);
    EXPECT_EQ(SimDoorViolationCount(), 0);
    const RequestCounts counts = Counts();
    EXPECT_EQ(counts.erase, 13);
    EXPECT_EQ(counts.program, 6271);
    EXPECT_EQ(counts.verify, 12542);
    EXPECT_EQ(counts.other, 0);
    EXPECT_EQ(SimDoorExchangeCount() - exchanges_before, 13u + 6271 + 12542) << "module's count";
    EXPECT_EQ(done, 2 * size);
    EXPECT_EQ(recorded_progress.size(), 12542u);
    EXPECT_EQ(recorded_progress.back(), 95);
    std::printf("flash image: %d erase, %d program, %d verify exchanges\n", counts.erase,
                counts.program, counts.verify);
}

TEST_F(SimFlashTest, CarriedMcuImageLandsFramedForBootloaderVersion2AndBoots) {
    const Bytes image = CarriedMcuImage();
    ASSERT_EQ(image.size(), 0xFBFCu);
    Start();
    const std::int32_t version = ReadBootloaderVersion(DeviceHandle); // the module's 0x82
    ASSERT_EQ(version, 2);
    tapped.clear();
    const std::uint64_t before = SimDoorExchangeCount();
    std::uint32_t done = 0;
    ASSERT_EQ(WriteMcu(image, version, done), 0);
    EXPECT_EQ(trace.rfind("Checksum1: 4f0d8a61\r\nChecksum2: b0f2759f\r\n", 0), 0u);

    Bytes framed = Concat({{0x8A, 0x61}, image, {0x75, 0x9F}});
    framed[2 + 0xF7FC] = 0x75;
    framed[2 + 0xF7FD] = 0x9F;
    EXPECT_TRUE(Flash(0xD0000, 0xFC00) == framed);
    EXPECT_EQ(SimDoorViolationCount(), 0);
    const RequestCounts counts = Counts();
    EXPECT_EQ(counts.erase, 1);
    EXPECT_EQ(counts.program, 504);
    EXPECT_EQ(counts.verify, 1008);
    EXPECT_EQ(SimDoorExchangeCount() - before, 1u + 504 + 1008);
    EXPECT_EQ(done, 2u * 0xFC00);
    std::printf("mcu image: %d erase, %d program, %d verify exchanges\n", counts.erase,
                counts.program, counts.verify);

    Restart(); // the module's own bootloader checks the framing and runs version 787
    EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu ok");
    EXPECT_EQ(SimDoorVersionText("A17"), "00787");
}

TEST_F(SimFlashTest, McuImageForBootloaderVersion0CarriesNInItsSlot512BeforeTheEnd) {
    const Bytes image = CarriedMcuImage();
    Start("bootloader = 0x00\n");
    std::uint32_t done = 0;
    ASSERT_EQ(WriteMcu(image, 0, done), 0);
    EXPECT_EQ(Flash(0xD0000 + 2 + 0xFBFC - 512, 2), (Bytes{0x75, 0x9F}));
    Restart();
    EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu ok");
}

TEST_F(SimFlashTest, RefusedMcuFramingSendsNothing) {
    Start();
    std::uint32_t done = 0;
    EXPECT_EQ(WriteMcu(CarriedMcuImage(), 3, done), -1);
    EXPECT_EQ(trace.find("Checksum2"), std::string::npos);
    EXPECT_EQ(WriteMcu(Pattern(511), 0, done), -1) << "no room for the slot";
    EXPECT_EQ(WriteMcu(Pattern(0xF7FD), 2, done), -1) << "no room for the slot";
    EXPECT_TRUE(tapped.empty());
    EXPECT_EQ(done, 0u);

    // The smallest image that fits: its slot is its first word.
    ASSERT_EQ(WriteMcu(Bytes(512, 0x01), 1, done), 0);
    EXPECT_EQ(Flash(0xD0000, 4), (Bytes{0x01, 0x00, 0xFF, 0x00})); // S 0x10100, N 0xFFFEFF00
}

TEST_F(SimFlashTest, StuckBitInsideEitherImageIsCaughtByVerify) {
    const Bytes flash_image = DecodedFlashImage();
    const Bytes mcu_image = CarriedMcuImage();
    const std::uint32_t in_flash = EvenByteFrom(flash_image, 0x54321);
    const std::uint32_t in_mcu = 0xD0000 + 2 + EvenByteFrom(mcu_image, 0x9ABC);
    for (const std::uint32_t stuck : {in_flash, in_mcu}) {
        char fault[48];
        std::snprintf(fault, sizeof fault, "fault = stuck-bit@%x\n", stuck);
        Start(fault);
        std::uint32_t done = 0;
        const std::uint32_t start = stuck == in_mcu ? 0xD0000 : 0;
        const std::int32_t result =
            stuck == in_mcu ? WriteMcu(mcu_image, 2, done) : WriteImage(0, flash_image, 1, done);
        EXPECT_EQ(result, -1);
        char line[32];
        std::snprintf(line, sizeof line, "%8x got: ", stuck);
        EXPECT_NE(trace.find(line), std::string::npos) << line;
        EXPECT_EQ(Counts().verify, 2 * static_cast<int>((stuck - start) / 128 + 1))
            << "the pass ends with the chunk that held it";
    }
}

} // namespace

// The bus shared through the state directory: stores stand for the processes (the
// program's library, simctl, the installer) that take turns on it.
#include "sim/model/flash.h"
#include "sim/model/sim_library.h"
#include "sim/model/sim_store.h"
#include "sim/model/state_files.h"
#include "sim/tests/test_host.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

class SharedBus : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("zc-sim-store-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        WriteIni("[A17]\nrestart_leave_ms = 300\nrestart_return_ms = 1500\n[B2]\n");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void WriteIni(const std::string& text) { std::ofstream(dir / "module.ini") << text; }

    // A process's first use of the bus.
    void Open(SimStore* store) {
        std::string error;
        ASSERT_EQ(SimStoreOpen(dir.string(), store, &error), 0) << error;
    }
    void Refresh(SimStore* store) {
        std::string error;
        ASSERT_EQ(SimStoreRefresh(store, &error), 0) << error;
    }
    void Save(SimStore* store) {
        std::string error;
        ASSERT_EQ(SimStoreSave(store, &error), 0) << error;
    }

    std::string Read(const char* name) {
        std::string text;
        SimReadFile((dir / name).string(), &text);
        return text;
    }

    std::filesystem::path dir;
};

// Writes one request frame on the store's bus and returns the reply bytes queued.
Bytes Exchange(SimStore* store, std::uint32_t handle, const Bytes& frame) {
    std::uint32_t written = 0;
    EXPECT_EQ(SimLibWrite(&store->bus, handle, frame, &written), kSimOk);
    Bytes reply(256);
    std::uint32_t got = 0;
    SimLibRead(&store->bus, handle, reply, &got, true);
    reply.resize(got);
    return reply;
}

TEST_F(SharedBus, APlugIsSeenByTheNextProcessAndUntouchedModulesWriteNothing) {
    SimStore simctl;
    Open(&simctl);
    SimPlug(&simctl.bus, &simctl.bus.modules[0]);
    Save(&simctl);
    EXPECT_TRUE(std::filesystem::exists(dir / "state-A17.txt"));
    EXPECT_EQ(std::filesystem::file_size(dir / "flash-A17.bin"), kFlashSize);
    EXPECT_FALSE(std::filesystem::exists(dir / "state-B2.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "flash-B2.bin"));
    EXPECT_EQ(Read("events.log"), "plug\n");

    SimStore library;
    Open(&library);
    const SimModule& seen = library.bus.modules[0];
    EXPECT_TRUE(seen.present);
    EXPECT_EQ(seen.running_version, 0x0786);
    EXPECT_EQ(seen.flash.bytes, simctl.bus.modules[0].flash.bytes);
    EXPECT_FALSE(library.bus.modules[1].present);
    std::uint32_t count = 0;
    SimLibGetNumDevices(library.bus, &count);
    EXPECT_EQ(count, 1u);
}

TEST_F(SharedBus, AnUnplugElsewhereKillsThisProcesssHandle) {
    SimStore library;
    Open(&library);
    SimPlug(&library.bus, &library.bus.modules[0]);
    std::uint32_t handle = 0;
    ASSERT_EQ(SimLibOpen(&library.bus, 0, &handle), kSimOk);
    Save(&library);

    SimStore simctl;
    Open(&simctl);
    SimUnplug(&simctl.bus, &simctl.bus.modules[0]);
    Save(&simctl);

    Refresh(&library);
    std::uint32_t bytes = 0, status = 0;
    EXPECT_EQ(SimLibCheckRxQueue(&library.bus, handle, &bytes, &status), kSimInvalidHandle);
    EXPECT_FALSE(library.bus.modules[0].present);
    EXPECT_EQ(Read("events.log"), "plug\nopen\nunplug\n");
}

TEST_F(SharedBus, FlashWritesReachTheFileAndTheWireLog) {
    SimStore library;
    Open(&library);
    SimPlug(&library.bus, &library.bus.modules[0]);
    std::uint32_t handle = 0;
    ASSERT_EQ(SimLibOpen(&library.bus, 0, &handle), kSimOk);
    Save(&library);
    // Another process writes somewhere the host never touches: a page-sized save of
    // the host's change must leave it alone.
    {
        std::fstream flash(dir / "flash-A17.bin", std::ios::in | std::ios::out | std::ios::binary);
        flash.seekp(0x100000);
        flash.put(0x5A);
    }

    const Bytes unlock = RequestFrame(RegisterBody(0x10, 0x42, kWrite, {0x03}));
    const Bytes program =
        RequestFrame(RegisterBody(0x11, 0x30, kWrite, {0x06, 0x02, 0x1F, 0x00, 0x40, 0x12, 0x34}));
    EXPECT_FALSE(Exchange(&library, handle, unlock).empty());
    EXPECT_FALSE(Exchange(&library, handle, program).empty());
    Save(&library);
    ASSERT_EQ(library.bus.modules[0].violations, 0);

    SimStore next;
    Open(&next);
    const std::vector<std::uint8_t>& flash = next.bus.modules[0].flash.bytes;
    EXPECT_EQ(flash[0x1F0040], 0x12);
    EXPECT_EQ(flash[0x1F0041], 0x34);
    EXPECT_EQ(flash[0x100000], 0x5A);
    const std::string wire = Read("wire.log");
    EXPECT_EQ(wire.find("W A17 ff 07 80 0f 00 00 10 42 03"), 0u) << wire;
    EXPECT_NE(wire.find("\nR A17 ff "), std::string::npos) << wire;
}

TEST_F(SharedBus, ARestartLeftBehindIsCompletedByTheNextProcess) {
    SimStore library;
    Open(&library);
    SimPlug(&library.bus, &library.bus.modules[0]);
    std::uint32_t handle = 0;
    ASSERT_EQ(SimLibOpen(&library.bus, 0, &handle), kSimOk);
    SimBusAdvance(&library.bus, 1'000'000);
    const Bytes restart = RequestFrame(RegisterBody(0x10, 0x30, kWrite, {0x01, 0xAA}));
    EXPECT_TRUE(Exchange(&library, handle, restart).empty());
    Save(&library);

    SimStore simctl;
    Open(&simctl);
    SimBusAdvance(&simctl.bus, 1'000'000 + 299'999);
    EXPECT_TRUE(simctl.bus.modules[0].present);
    SimBusAdvance(&simctl.bus, 1'000'000 + 300'000 + 1'500'000);
    EXPECT_TRUE(simctl.bus.modules[0].present);
    EXPECT_EQ(simctl.bus.modules[0].boots, 1);
    Save(&simctl);
    EXPECT_EQ(Read("events.log"),
              "plug\nopen\nrestart-request\nleave\nboot fpga ok, mcu ok\nreturn\n");
}

TEST_F(SharedBus, AnUnknownKeyInTheScenarioIsRefused) {
    WriteIni("[A17]\nrestart_leave = 300\n");
    SimStore store;
    std::string error;
    EXPECT_EQ(SimStoreOpen(dir.string(), &store, &error), -1);
    EXPECT_NE(error.find("module.ini line 2"), std::string::npos) << error;
}

} // namespace

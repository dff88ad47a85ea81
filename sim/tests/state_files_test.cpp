// The state directory's files: exact formats, and a module's state carried from one
// process to the next through them.
#include "sim/model/log_lines.h"
#include "sim/model/sim_library.h"
#include "sim/model/state_files.h"
#include "sim/model/status_line.h"
#include <filesystem>
#include <gtest/gtest.h>

namespace {

class StateFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("zc-sim-state-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string Read(const char* name) {
        std::string text;
        EXPECT_EQ(SimReadFile((dir / name).string(), &text), 0) << name;
        return text;
    }

    std::filesystem::path dir;
    std::uint32_t handle_ = 0;
};

SimBus PluggedBus() {
    std::vector<SimModuleConfig> configs(1);
    configs[0].serial = "A17";
    SimBus bus = SimMakeBus(configs);
    SimPlug(&bus, &bus.modules[0]);
    return bus;
}

TEST(LogLines, WireLineFormat) {
    const std::uint8_t bytes[] = {0xFF, 0x07, 0x00, 0xAB};
    EXPECT_EQ(SimWireLine('W', "A17", bytes), "W A17 ff 07 00 ab");
    EXPECT_EQ(SimWireLine('R', "A17", std::span<const std::uint8_t>(bytes, 1)), "R A17 ff");
}

TEST_F(StateFiles, StateTextFormat) {
    SimBus bus = PluggedBus();
    SimModule& module = bus.modules[0];
    EXPECT_EQ(SimFormatState(module), "present = yes\ndriver = installed\nunlocked = no\n"
                                      "firmware = 786\nfpga = ok\nmcu = ok\nboots = 0\n"
                                      "violations = 0\nrestart = none\n");
    module.restart = SimRestartPhase::Away;
    module.restart_due_us = 1234567890123;
    EXPECT_NE(SimFormatState(module).find("restart = away 1234567890123\n"), std::string::npos);
}

TEST_F(StateFiles, ModuleSurvivesSaveAndLoad) {
    SimBus bus = PluggedBus();
    SimModule& saved = bus.modules[0];
    saved.flash.bytes[0x1234] = 0x5A;
    saved.boots = 3;
    saved.violations = 2;
    saved.unlocked = true;
    saved.driver_installed = false;
    saved.restart = SimRestartPhase::Leaving;
    saved.restart_due_us = 987654;
    std::string error;
    ASSERT_EQ(SimSaveModule(dir.string(), &saved, &error), 0) << error;
    EXPECT_EQ(std::filesystem::file_size(dir / "flash-A17.bin"), kFlashSize);

    SimBus fresh = SimMakeBus({saved.config});
    SimModule& loaded = fresh.modules[0];
    ASSERT_EQ(SimLoadModule(dir.string(), &loaded, &error), 1) << error;
    EXPECT_EQ(loaded.flash.bytes, saved.flash.bytes);
    EXPECT_EQ(SimFormatState(loaded), SimFormatState(saved));
    EXPECT_EQ(SimStatusLine(loaded), "module A17: present yes, firmware 786, bootloader 2, "
                                     "fpga ok, mcu ok, boots 3, violations 2");
    SimBusAdvance(&fresh, 987654);
    EXPECT_FALSE(loaded.present); // the restart goes on in the next process
}

TEST_F(StateFiles, FlashFileIsWrittenOnlyAfterAChange) {
    SimBus bus = PluggedBus();
    SimModule& module = bus.modules[0];
    std::string error;
    ASSERT_EQ(SimSaveModule(dir.string(), &module, &error), 0) << error;
    std::filesystem::remove(dir / "flash-A17.bin");
    ASSERT_EQ(SimSaveModule(dir.string(), &module, &error), 0) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "flash-A17.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir / "state-A17.txt"));

    // A host's erase marks the flash changed.
    SimLibOpen(&bus, 0, &handle_);
    const std::uint8_t unlock[] = {0xFF, 0x07, 0x80, 0x0F, 0x00, 0x00,
                                   0x00, 0x42, 0x03, 0xD4, 0xFF};
    const std::uint8_t erase[] = {0xFF, 0x0B, 0x80, 0x0F, 0x00, 0x00, 0x01, 0x30,
                                  0x04, 0xD8, 0x10, 0x00, 0x00, 0xAC, 0xFF};
    std::uint32_t written = 0;
    SimLibWrite(&bus, handle_, unlock, &written);
    SimLibWrite(&bus, handle_, erase, &written);
    ASSERT_EQ(module.violations, 0);
    ASSERT_EQ(SimSaveModule(dir.string(), &module, &error), 0) << error;
    EXPECT_TRUE(std::filesystem::exists(dir / "flash-A17.bin"));
}

TEST_F(StateFiles, NoStateFileMeansANewModule) {
    SimBus bus = SimMakeBus({SimModuleConfig{}});
    bus.modules[0].config.serial = "B2";
    std::string error;
    EXPECT_EQ(SimLoadModule(dir.string(), &bus.modules[0], &error), 0);
}

TEST_F(StateFiles, DamagedFilesAreRefused) {
    SimBus bus = PluggedBus();
    std::string error;
    ASSERT_EQ(SimSaveModule(dir.string(), &bus.modules[0], &error), 0);
    std::filesystem::resize_file(dir / "flash-A17.bin", kFlashSize - 1);
    EXPECT_EQ(SimLoadModule(dir.string(), &bus.modules[0], &error), -1);

    SimModule module = bus.modules[0];
    EXPECT_EQ(SimParseState("present = yes\n", &module, &error), -1); // keys missing
    std::string text = SimFormatState(module) + "colour = red\n";
    EXPECT_EQ(SimParseState(text, &module, &error), -1);
    text = SimFormatState(module);
    text.replace(text.find("fpga = ok"), 9, "fpga = meh");
    EXPECT_EQ(SimParseState(text, &module, &error), -1);
}

TEST_F(StateFiles, LogsAreAppendedLineByLine) {
    SimBus bus = PluggedBus();
    bus.record_wire = true;
    const std::uint8_t bytes[] = {0xFF, 0x01};
    bus.wire_lines.push_back(SimWireLine('W', "A17", bytes));
    std::size_t written = 0;
    std::string error;
    ASSERT_EQ(SimAppendLogs(dir.string(), &bus, &written, &error), 0) << error;
    SimLogViolation(&bus, &bus.modules[0], "empty frame");
    SimInstallDriver(&bus);
    ASSERT_EQ(SimAppendLogs(dir.string(), &bus, &written, &error), 0) << error;
    EXPECT_EQ(Read(kSimEventLog), "plug\nVIOLATION A17 empty frame\ndriver-installed\n");
    EXPECT_EQ(Read(kSimWireLog), "W A17 ff 01\n");
    EXPECT_TRUE(bus.wire_lines.empty());
}

} // namespace

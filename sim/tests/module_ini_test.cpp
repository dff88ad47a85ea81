// The scenario file: defaults, every key, and the errors that must never pass
// silently.
#include "sim/model/module_config.h"
#include <gtest/gtest.h>

namespace {

std::vector<SimModuleConfig> Parse(const std::string& text) {
    std::vector<SimModuleConfig> modules;
    std::string error;
    EXPECT_EQ(SimParseModuleIni(text, &modules, &error), 0) << error;
    return modules;
}

std::string ErrorOf(const std::string& text) {
    std::vector<SimModuleConfig> modules;
    std::string error;
    EXPECT_EQ(SimParseModuleIni(text, &modules, &error), -1) << text;
    return error;
}

TEST(ModuleIni, TheDocumentedExampleGivesTheDefaults) {
    const auto modules = Parse("[A17]\n"
                               "type = 0x42                 # identification reply, position 8\n"
                               "subtype = 0x1B\n"
                               "bootloader = 0x82\n"
                               "firmware = 786\n"
                               "driver = installed          # installed | missing\n"
                               "location = Port_#0001.Hub_#0001\n"
                               "latency_us = 0\n"
                               "restart_leave_ms = 300\n"
                               "restart_return_ms = 1500\n"
                               "read_timeout_cap_ms = none  # none: the host's time-out\n"
                               "erase_block_ms = 0\n"
                               "program_chunk_us = 0\n"
                               "fault = none\n");
    ASSERT_EQ(modules.size(), 1u);
    const SimModuleConfig defaults = Parse("[A17]\n").at(0);
    const SimModuleConfig& m = modules[0];
    EXPECT_EQ(m.serial, "A17");
    EXPECT_EQ(m.type, defaults.type);
    EXPECT_EQ(m.subtype, 0x1B);
    EXPECT_EQ(m.bootloader, 0x82);
    EXPECT_EQ(m.firmware, 0x0786);
    EXPECT_EQ(defaults.firmware, 0x0786);
    EXPECT_TRUE(m.driver_installed);
    EXPECT_EQ(m.location, "Port_#0001.Hub_#0001");
    EXPECT_EQ(defaults.location, m.location);
    EXPECT_EQ(m.restart_leave_ms, 300u);
    EXPECT_EQ(m.restart_return_ms, defaults.restart_return_ms);
    EXPECT_EQ(defaults.read_timeout_cap_ms, m.read_timeout_cap_ms);
    EXPECT_TRUE(m.faults.empty());
}

TEST(ModuleIni, ModulesInBusOrderWithFaultLists) {
    const auto modules = Parse("; two modules\n[p01]\ndriver = missing\n\n[A17]\n"
                               "fault = reply-corrupt@3, stuck-bit@0d0010,version-text=12ab\n"
                               "latency_us = 125\nsubtype = 16\n");
    ASSERT_EQ(modules.size(), 2u);
    EXPECT_EQ(modules[0].serial, "p01");
    EXPECT_FALSE(modules[0].driver_installed);
    EXPECT_EQ(modules[1].latency_us, 125u);
    EXPECT_EQ(modules[1].subtype, 16);
    ASSERT_EQ(modules[1].faults.size(), 3u);
    EXPECT_TRUE(SimHasFaultAt(modules[1].faults, SimFaultKind::ReplyCorrupt, 3));
    EXPECT_TRUE(SimHasFaultAt(modules[1].faults, SimFaultKind::StuckBit, 0xD0010));
    EXPECT_EQ(SimFindFault(modules[1].faults, SimFaultKind::VersionText)->text, "12ab");
}

TEST(ModuleIni, UnknownAndRepeatedKeysAreErrors) {
    EXPECT_EQ(ErrorOf("[A17]\ncolour = red\n"), "line 2: unknown key colour");
    EXPECT_EQ(ErrorOf("[A17]\ntype = 1\ntype = 2\n"), "line 3: key type given twice");
    EXPECT_EQ(ErrorOf("type = 1\n[A17]\n"), "line 1: key type before the first [serial] section");
    EXPECT_EQ(ErrorOf("[A17]\n[A17]\n"), "line 2: module A17 appears twice");
}

TEST(ModuleIni, BadValuesAreErrors) {
    for (const char* text :
         {"[A17]\ntype = 0x100\n", "[A17]\nsubtype = x\n", "[A17]\nfirmware = 10000\n",
          "[A17]\ndriver = maybe\n", "[A17]\nlatency_us = -1\n", "[A17]\nlocation =\n",
          "[A17]\nread_timeout_cap_ms = never\n", "[A17]\nerase_block_ms = none\n",
          "[A17]\nfault = reply-corrupt@0\n", "[A17]\nfault = stuck-bit@200000\n",
          "[A17]\nfault = version-text=123456\n", "[A17]\nfault = locked@3\n",
          "[A17]\nfault = melt\n", "[A17]\nfault = none,locked\n", "[A17]\nfault = ,locked\n",
          "[A/17]\n", "[]\n", "[A17\n", "[A17]\njust words\n"})
        EXPECT_FALSE(ErrorOf(text).empty()) << text;
}

} // namespace

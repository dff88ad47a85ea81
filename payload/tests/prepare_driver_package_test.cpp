// Driver packages as a vendor's tools pack them: carried exactly as packed, or refused by name.
#include "payload/tar_extract.h"
#include "payload/tests/tar_test_support.h"
#include "payload/tools/prepare/package_proof.h"

#include <cstdlib>

namespace {

using namespace tar_test;

// The package: an installer, a hard-linked driver file, a UTF-8 name and a 100-byte path.
void BuildPackage(const fs::path& source) {
    fs::create_directories(source / "x86");
    fs::create_directories(source / "x64");
    fs::create_directories(source / std::string(40, 'd'));
    WriteFile(source / "NorvUSBInstaller.exe", Pattern(5000, 1));
    WriteFile(source / "NorvUSB.inf", "[Version]\r\n");
    WriteFile(source / "x86" / "SiUSBXp.sys", Pattern(1537, 2));
    fs::create_hard_link(source / "x86" / "SiUSBXp.sys", source / "x64" / "SiUSBXp.sys");
    WriteFile(source / "Liesmich – Größe 说明.txt", "UTF-8");
    WriteFile(source / std::string(40, 'd') / (std::string(55, 'f') + ".sys"), Pattern(600, 3));
}

struct Case {
    std::string name;
    std::string pack; // run in the scratch folder: packs source/ into in.tar
    std::string refusal = "";
};

std::string CaseName(const testing::TestParamInfo<Case>& row) {
    return row.param.name;
}

class PrepareDriverPackage : public testing::TestWithParam<Case> {
  protected:
    ScratchDirectory scratch;
    fs::path in = scratch.path / "in.tar";
    fs::path out = scratch.path / "out.tar";

    void SetUp() override {
        BuildPackage(scratch.path / "source");
        const std::string pack = "cd '" + scratch.Prefix() + "' && " + GetParam().pack;
        ASSERT_EQ(std::system(pack.c_str()), 0) << pack;
    }

    // Runs the tool; its exit status, with its standard error in *ERRORS.
    int Prepare(const fs::path& from, const fs::path& to, std::string* errors) {
        const fs::path stderr_file = scratch.path / "stderr.txt";
        const std::string command = std::string(ZC_PREPARE_DRIVER_PACKAGE) + " '" + from.string() +
                                    "' '" + to.string() + "' 2>'" + stderr_file.string() + "'";
        const int status = std::system(command.c_str());
        *errors = ReadFile(stderr_file);
        return status;
    }
};

const Case kCarried[] = {
    {"GnuTarGnu", "tar --format=gnu -C source -cf in.tar ."},
    {"GnuTarUstar", "tar --format=ustar -C source -cf in.tar ."},
    {"GnuTarPosix", "tar --format=posix -C source -cf in.tar ."},
    {"GnuTarFileListWithoutFolders",
     "cd source && find . -type f | tar --format=ustar --no-recursion -T - -cf ../in.tar"},
    {"GnuTarPackedTwiceLastCopyKept", "cp -r source old && echo old >old/NorvUSB.inf && "
                                      "tar -C old -cf in.tar . && tar -C source -rf in.tar ."},
    {"GnuTarGzip", "tar -C source -czf in.tar ."},
    {"GnuTarIncremental", "tar --listed-incremental=snar -C source -cf in.tar ."},
    // Data up to 16 KiB, then a hole that only the member's size implies.
    {"GnuTarSparseEndingInAHole",
     "cd source && yes | head -c 16384 >s.sys && truncate -s 20480 s.sys && "
     "tar --format=gnu -S --hole-detection=raw -cf ../in.tar ."},
    {"FolderFillingTheNameField", "mkdir source/" + std::string(40, 'd') + "/" +
                                      std::string(59, 'g') + " && tar -C source -cf in.tar ."},
    {"Bsdtar", "bsdtar -C source -cf in.tar ."},
    {"PythonPax",
     "python3 -c 'import tarfile; t = tarfile.open(\"in.tar\", \"w\"); t.add(\"source\", \".\"); "
     "t.close()'"},
};

TEST_P(PrepareDriverPackage, CarriesThePackageExactlyAsPacked) {
    std::string errors;
    ASSERT_EQ(Prepare(in, out, &errors), 0) << errors;
    const std::string prepared = ReadFile(out);
    fs::create_directory(scratch.path / "unpacked");
    ASSERT_EQ(TarExtract(reinterpret_cast<const std::uint8_t*>(prepared.data()), prepared.size(),
                         (scratch.path / "unpacked" / "").c_str()),
              TarOk);
    EXPECT_EQ(Tree(scratch.path / "unpacked"), Tree(scratch.path / "source"));
    // Already plain: prepared again, it comes out byte for byte the same.
    ASSERT_EQ(Prepare(out, scratch.path / "again.tar", &errors), 0) << errors;
    EXPECT_TRUE(ReadFile(scratch.path / "again.tar") == prepared);
}

INSTANTIATE_TEST_SUITE_P(Producers, PrepareDriverPackage, testing::ValuesIn(kCarried), CaseName);

class RefusedPackage : public PrepareDriverPackage {};

// Packs an empty file under each name given after it, in that order, the name as it stands.
const std::string kPythonPacks =
    "python3 -c 'import sys, tarfile; t = tarfile.open(\"in.tar\", \"w\"); "
    "[t.addfile(tarfile.TarInfo(name)) for name in sys.argv[1:]]; t.close()' ";
const std::string kLongPath = std::string(40, 'd') + "/" + std::string(60, 'g');

const Case kRefused[] = {
    {"SymbolicLink", "ln -s NorvUSB.inf source/link.inf && tar -C source -cf in.tar .",
     "member \"./link.inf\": a symbolic link, which the PC's extractor cannot make"},
    {"DotDot", kPythonPacks + "setup.exe x86/../../setup.exe",
     "member \"x86/../../setup.exe\": a \"..\" component, which would reach outside the "
     "package's folder"},
    {"Absolute", kPythonPacks + "setup.exe /setup.exe", "member \"/setup.exe\": an absolute name"},
    {"DeviceName", "touch source/x64/Aux.inf && bsdtar -C source -cf in.tar .",
     "member \"./x64/Aux.inf\": a component Windows takes for a device (CON, PRN, AUX, NUL, "
     "COM1-9, LPT1-9)"},
    {"SameNameToWindows", kPythonPacks + "x86/setup.exe X86/Setup.exe",
     "member \"X86/Setup.exe\": the same name to Windows, which ignores letter case, as \"x86\""},
    {"NoInstallerAtTheTop",
     "mv source/NorvUSBInstaller.exe source/x86 && tar -C source -cf in.tar .",
     "has no file NorvUSBInstaller.exe in its top folder, which the program starts"},
    {"LongerThanTheNameField", "touch source/" + kLongPath + " && tar -C source -cf in.tar .",
     "member \"./" + kLongPath + "\": a name longer than the 100 bytes of the tar name field"},
    {"FolderLongerThanTheNameField", "mkdir source/" + kLongPath + " && tar -C source -cf in.tar .",
     "member \"./" + kLongPath + "/\": a name longer than the 100 bytes of the tar name field"},
    {"SparseFileOfATebibyte", "truncate -s 1T source/s.sys && tar -C source -S -cf in.tar .",
     "member \"./s.sys\": a file larger than the 500000-byte package buffer"},
};

TEST_P(RefusedPackage, FailsNamingTheMemberAndLeavesNoOut) {
    WriteFile(out, "from an earlier build");
    std::string errors;
    EXPECT_NE(Prepare(in, out, &errors), 0);
    EXPECT_EQ(errors, "prepare-driver-package: " + in.string() + ": " + GetParam().refusal + "\n");
    EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(Members, RefusedPackage, testing::ValuesIn(kRefused), CaseName);

// The proof catches an archive that unpacks otherwise than the package was read.
TEST(PackageProof, NamesTheFirstMemberUnpackedOtherwise) {
    const std::vector<PackageMember> members = {{"x86", true, true, ""},
                                                {"x86/SiUSBXp.sys", false, false, "driver", 6}};
    std::vector<std::uint8_t> archive;
    AppendDirectory(archive, "x86/");
    AppendFile(archive, "x86/SiUSBXp.sys", "others");
    AppendEnd(archive);
    PackageRefusal refusal;
    EXPECT_FALSE(ProvePackage(members, archive, &refusal));
    EXPECT_EQ(refusal.member, "x86/SiUSBXp.sys");
    EXPECT_EQ(refusal.reason, "the program's extractor (result 0) leaves it with other bytes");

    archive.clear();
    AppendDirectory(archive, "x86/");
    AppendFile(archive, "x86/SiUSBXp.sys", "driver");
    AppendFile(archive, "x86/stray.sys");
    AppendEnd(archive);
    EXPECT_FALSE(ProvePackage(members, archive, &refusal));
    EXPECT_EQ(refusal.member, "x86/stray.sys");
    // Read short and written as read: the size its header gave still tells.
    archive.clear();
    AppendFile(archive, "s.sys", "drive");
    EXPECT_FALSE(ProvePackage({{"s.sys", false, false, "drive", 6}}, archive, &refusal));
    EXPECT_EQ(refusal.reason, "the program's extractor (result 0) leaves it with 5 bytes, not "
                              "the 6 it was packed with");
}

} // namespace

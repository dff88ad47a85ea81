#include "payload/tools/prepare/vendor_archive.h"

#include "payload/tools/prepare/member_names.h"
#include "usb/usb_install.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

// Null for the kinds of member that can be carried.
const char* TypeProblem(archive_entry* entry) {
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
    case AE_IFDIR:
        return nullptr;
    case AE_IFLNK:
        return "a symbolic link, which the PC's extractor cannot make";
    case AE_IFCHR:
    case AE_IFBLK:
        return "a device node";
    case AE_IFIFO:
        return "a FIFO";
    default:
        return "a member that is neither a file nor a folder";
    }
}

// The file as extracting it leaves it: as long as its header says, each data block at its
// offset, zeros where no block lies (a sparse file's holes, the one at its end included).
bool ReadData(archive* reader, archive_entry* entry, const std::string& stored,
              PackageMember* member, PackageRefusal* refusal) {
    const la_int64_t size = archive_entry_size(entry);
    // A sparse header can claim any size for a few bytes of archive; no member larger than the
    // program's whole package buffer can be carried, so refuse it before laying it out.
    if (size > la_int64_t{kDriverPackageBufferSize})
        return Refuse(refusal, stored, "a file larger than the 500000-byte package buffer");
    member->size = static_cast<std::uint64_t>(std::max<la_int64_t>(size, 0));
    member->data.assign(member->size, '\0');
    for (;;) {
        const void* block = nullptr;
        std::size_t length = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &length, &offset);
        if (status == ARCHIVE_EOF)
            return true;
        if (status != ARCHIVE_OK)
            return Refuse(refusal, stored, archive_error_string(reader));
        if (offset < 0 || offset > size || length > static_cast<std::uint64_t>(size - offset))
            return Refuse(refusal, stored, "data beyond the size its header gives");
        member->data.replace(static_cast<std::size_t>(offset), length,
                             static_cast<const char*>(block), length);
    }
}

// A hard link is written as a copy of the file it links to, as that file stands at this point.
bool ResolveHardLink(const Package& package, const char* target, const std::string& stored,
                     PackageMember* member, PackageRefusal* refusal) {
    std::string name;
    const auto listed = ResolveMemberName(target, &name) == nullptr ? package.position.find(name)
                                                                    : package.position.end();
    if (listed == package.position.end() || package.members[listed->second].directory)
        return Refuse(refusal, stored,
                      std::string("a hard link to \"") + target +
                          "\", which is not a file packed before it");
    if (!member->data.empty())
        return Refuse(refusal, stored, "a hard link that carries data of its own");
    member->data = package.members[listed->second].data;
    member->size = package.members[listed->second].size;
    return true;
}

bool ReadMember(archive* reader, archive_entry* entry, Package* package, PackageRefusal* refusal) {
    // Names are taken as UTF-8, which is what pax stores and what the PC's extractor expects.
    const char* name = archive_entry_pathname_utf8(entry);
    if (name == nullptr)
        name = archive_entry_pathname(entry);
    const std::string stored = name != nullptr ? name : "";
    // A hard link has no type of its own; it stands for its target, a file.
    const char* target = archive_entry_hardlink_utf8(entry);
    if (const char* problem = target != nullptr ? nullptr : TypeProblem(entry))
        return Refuse(refusal, stored, problem);
    PackageMember member;
    member.directory = target == nullptr && archive_entry_filetype(entry) == AE_IFDIR;
    member.executable = member.directory || (archive_entry_perm(entry) & 0111) != 0;
    if (const char* problem = ResolveMemberName(stored, &member.name))
        return Refuse(refusal, stored, problem);
    // A folder's data (a GNU incremental archive's listing of it) is not unpacked.
    if (!member.directory && !ReadData(reader, entry, stored, &member, refusal))
        return false;
    if (target != nullptr && !ResolveHardLink(*package, target, stored, &member, refusal))
        return false;
    if (member.name.empty()) {
        if (member.directory)
            return true; // "./": the package's own folder
        return Refuse(refusal, stored, "a file without a name");
    }
    return AddPackageMember(package, std::move(member), stored, refusal);
}

} // namespace

bool ReadVendorArchive(const std::vector<std::uint8_t>& archive, Package* package,
                       PackageRefusal* refusal) {
    const ArchiveReader reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), archive.data(), archive.size()) != ARCHIVE_OK)
        return Refuse(refusal, "", archive_error_string(reader.get()));
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            return true;
        // A warning (a name not in the expected character set) leaves the entry to be judged.
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            const char* name = entry != nullptr ? archive_entry_pathname_utf8(entry) : nullptr;
            return Refuse(refusal, name != nullptr ? name : "", archive_error_string(reader.get()));
        }
        if (!ReadMember(reader.get(), entry, package, refusal))
            return false;
    }
}

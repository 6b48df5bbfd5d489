#include "VolumeInfo.h"

#include "DDKStrings.h"

#include <blkid/blkid.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <system_error>

namespace {

// The file system holding a path that does not exist yet is that of its
// nearest existing folder, as a drive holds every path written on it. Returns
// that path, or "" when not even the root can be examined.
std::filesystem::path NearestExisting(std::filesystem::path Path, struct stat& Info)
{
    std::error_code Error;
    Path = std::filesystem::absolute(Path, Error);
    while (!Path.empty()) {
        if (stat(Path.c_str(), &Info) == 0)
            return Path;
        if (Path == Path.parent_path())
            break;
        Path = Path.parent_path();
    }
    return {};
}

std::string FormatSerial(std::uint32_t Value)
{
    return DDKFormat("%04X-%04X", Value >> 16, Value & 0xFFFF);
}

// A file system's serial is the low 32 bits of its UUID: the FAT serial
// ("1A2B-3C4D") and the NTFS one are exactly what other systems show for it.
bool SerialFromUuid(const std::string& Uuid, std::string& Serial)
{
    std::string Digits;
    for (char C : Uuid)
        if (std::isxdigit(static_cast<unsigned char>(C)))
            Digits += C;
    if (Digits.size() < 8)
        return false;
    Serial = FormatSerial(
        static_cast<std::uint32_t>(std::strtoul(Digits.substr(Digits.size() - 8).c_str(), nullptr, 16)));
    return true;
}

// Label and UUID of the block device behind Device; left empty when they
// cannot be read (no block device, no permission, no such tags).
void ProbeDevice(dev_t Device, std::string& Label, std::string& Uuid)
{
    std::unique_ptr<char, decltype(&std::free)> DeviceName(blkid_devno_to_devname(Device), &std::free);
    if (!DeviceName)
        return;
    std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> Probe(
        blkid_new_probe_from_filename(DeviceName.get()), &blkid_free_probe);
    if (Probe) {
        blkid_probe_enable_superblocks(Probe.get(), 1);
        blkid_probe_set_superblocks_flags(Probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
        if (blkid_do_safeprobe(Probe.get()) == 0) {
            const char* Value = nullptr;
            if (blkid_probe_lookup_value(Probe.get(), "LABEL", &Value, nullptr) == 0 && Value)
                Label = Value;
            if (blkid_probe_lookup_value(Probe.get(), "UUID", &Value, nullptr) == 0 && Value)
                Uuid = Value;
            return;
        }
    }
    // Without read access to the device, the system's blkid cache may still
    // know it.
    // The cache is the system's one file: workers take their turns with it.
    static std::mutex CacheLock;
    const std::lock_guard<std::mutex> Guard(CacheLock);
    blkid_cache Cache = nullptr;
    if (blkid_get_cache(&Cache, nullptr) != 0)
        return;
    for (auto [Tag, Target] : {std::pair{"LABEL", &Label}, std::pair{"UUID", &Uuid}}) {
        if (char* Value = blkid_get_tag_value(Cache, Tag, DeviceName.get())) {
            *Target = Value;
            std::free(Value);
        }
    }
    blkid_put_cache(Cache);
}

} // namespace

void GetVolumeInfo(const std::string& Path, std::string& VolumeName, std::string& Serial)
{
    VolumeName.clear();
    Serial.clear();
    struct stat Info;
    const auto Existing = NearestExisting(Path, Info);
    if (Existing.empty())
        return;

    std::string Uuid;
    ProbeDevice(Info.st_dev, VolumeName, Uuid);
    if (SerialFromUuid(Uuid, Serial))
        return;

    // No block device behind it (network, overlay, tmpfs): the file system id
    // still tells one volume from another.
    struct statfs FileSystem;
    if (statfs(Existing.c_str(), &FileSystem) != 0)
        return;
    const auto& Id = FileSystem.f_fsid.__val;
    Serial = FormatSerial(static_cast<std::uint32_t>(Id[0]) ^ static_cast<std::uint32_t>(Id[1]));
}

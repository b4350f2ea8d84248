// Archives that arrive from outside (an OEM package, the maker's web pages)
// are read and unpacked by this one code, libarchive with its secure
// extraction: what is checked is exactly what is written. Only regular
// files and folders with relative names free of ".." are taken; an archive
// holding anything else (a link, a device, an absolute or escaping name, a
// damaged entry) is refused whole. Permissions and owners are never taken
// from the archive: folders are 0755 and files 0644.
//
// Installing unpacks into a fresh staging folder inside the target folder
// (the same file system) and moves the files in by rename only once the
// whole archive has been unpacked; a failed install leaves every file of
// the target as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

enum class ArchiveFormat { Zip, TarGz };

struct ArchiveLimits {
  uint32_t max_entries;  // files and folders
  uint64_t max_bytes;    // unpacked file data, all entries together
};

// Unpacks an archive held in memory into dest, an existing folder the
// caller has just made empty. 0, or -1 (dest may then hold part of the
// archive; the caller removes it).
int archive_unpack(const void* data, size_t size, ArchiveFormat format, const std::string& dest,
                   const ArchiveLimits& limits);

// Unpacks the archive and installs its files into target (made when
// missing): a file of the archive replaces the target's file of that name,
// a folder is merged with the target's folder, every other file of the
// target stays. A target entry in the way (a link, a file where the archive
// has a folder or the other way round) refuses the install. 0, or -1 with
// the target unchanged.
int archive_install(const void* data, size_t size, ArchiveFormat format, const std::string& target,
                    const ArchiveLimits& limits);
// The same for an archive file, opened without following a link.
int archive_install_file(const std::string& path, ArchiveFormat format, const std::string& target,
                         const ArchiveLimits& limits);

// Removes a folder and everything in it without following links. 0 or -1.
int tree_remove(const std::string& path);

// What the program knows about a photo beyond its renditions: the original
// file it came from (kept byte for byte in the photo folder's `originals`
// folder), when and with which camera it was taken, its caption, its upright
// size, its length and SHA-256 digest.
//
// The metadata is read with exiv2 (EXIF, IPTC and XMP). A photo whose
// metadata is broken or hostile still imports: a fact that cannot be read,
// or is implausibly long, is left out.
//
// Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace lumireel {

// The longest camera, caption or date text that is taken from a photo's
// metadata; a longer field is left out rather than cut.
inline constexpr std::size_t kMaxFactLength = 4096;

// The facts of the metadata; empty texts for facts the file does not hold.
struct MetadataFacts {
  std::string taken;    // EXIF DateTimeOriginal as YYYY-MM-DDTHH:MM:SS
  std::string camera;   // EXIF Make and Model joined by a space
  std::string caption;  // EXIF ImageDescription, IPTC Caption-Abstract or XMP dc:description
};

// Reads the facts of the picture file at `native_path`. Never throws: an
// unreadable file or broken metadata gives the facts that could be read
// (none at worst).
MetadataFacts ReadMetadataFacts(const std::string& native_path);

// The modification time of the file at `native_path` as local time in the
// form YYYY-MM-DDTHH:MM:SS; empty when it cannot be read.
std::string FileModificationTime(const std::string& native_path);

// The result of copying an original.
struct CopiedOriginal {
  bool ok = false;
  std::uint64_t bytes = 0;
  std::string sha256;
};

// Copies the file `native_source` byte for byte to the new file
// `native_destination` (which must not exist), reading the source once and
// computing its SHA-256 on the way. Not ok, with no file left at the
// destination, when either file cannot be opened or a read or write fails.
CopiedOriginal CopyOriginal(const std::string& native_source,
                            const std::string& native_destination);

// The extension under which an original is kept: the part of `file_name`
// after its last dot, in lower case, when it is 1 to 10 letters or digits;
// otherwise empty (the original is then kept without one).
std::string OriginalExtension(const std::string& file_name);

}  // namespace lumireel

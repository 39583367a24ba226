// Where an album's web gallery is uploaded: the album's `ftp` element in the
// catalogue, which the movie writes, e.g.
//   <ftp protocol="sftp" host="example.org" port="22" user="anna"
//        folder="/var/www/holiday" />
// An album that was never set up keeps the empty `<ftp />` of a new album.
// The password is never part of it: it comes with each command.
//
// All functions are pure; they may be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumireel {

enum class UploadProtocol { kSftp, kFtp, kFtps };

struct UploadSettings {
  UploadProtocol protocol = UploadProtocol::kSftp;
  std::string host;
  int port = 0;        // the protocol's own when the element has none
  std::string user;
  std::string folder;  // absolute on the server, "/" separated, no trailing "/"
  bool operator==(const UploadSettings&) const = default;
};

enum class UploadSettingsStatus {
  kRead,
  kNoCatalogue,  // the catalogue text is missing or does not parse
  kNotSet,       // the album has no entry, or its `ftp` element no host
  kInvalid,      // a protocol, port, host, user or folder that cannot be used
};

// The settings of album `album_id` from the catalogue text (the last entry
// of that id wins, as for the gallery's settings). On anything but kRead,
// `settings` is left as it was. A folder is made absolute ("www" reads as
// "/www"); one with a "." or ".." part, a backslash or a control character
// is kInvalid, as is a host with anything but letters, digits, ".", "-",
// "_", ":" (IPv6) or a port outside 1..65535.
[[nodiscard]] UploadSettingsStatus ReadUploadSettings(std::string_view catalogue_text,
                                                      std::string_view album_id,
                                                      UploadSettings& settings);

[[nodiscard]] std::string_view ProtocolName(UploadProtocol protocol);  // "sftp", "ftp", "ftps"
[[nodiscard]] int DefaultPort(UploadProtocol protocol);                // 22, 21, 21

// One line naming the server and folder (protocol, user, host, port,
// folder), to tell whose journal is whose; never holds a password.
[[nodiscard]] std::string TargetName(const UploadSettings& settings);

}  // namespace lumireel

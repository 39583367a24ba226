// The display settings of a published album, read from the album catalogue,
// and the small XML files of a gallery that carry them to the player:
// `skins\skins.xml` (the skin list), `zel_ui\zelsetting.xml` (language,
// accent colour, skin and logo) and `zel_ui\zelshow.xml` (the album name for
// the heading, the slide show's pace and transition, the big-image box and
// the "Download all" archive).
//
// All functions are pure or read one file; they may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace lumireel {

// The skin every gallery falls back to; it is not checked for existence.
inline constexpr char kDefaultSkin[] = "snakeeye";

// What one album shows in its gallery. Each field starts with its default.
struct GallerySettings {
  std::string name = "Untitled";  // page title of the web gallery
  std::string skin;               // empty until chosen (see ChooseSkin)
  std::string lang = "en";
  std::string color = "0xFF6600";
  std::string logo;
  // The slide show and the big renditions, as the catalogue has them (the
  // player checks and bounds them): seconds per photo, the transition
  // ("fade" or "cut"), the big-image box the album renders into.
  std::string seconds = "5";
  std::string transition = "fade";
  std::string big_width = "700";
  std::string big_height = "700";
  // "1" or "0"; empty leaves it to the kind of gallery (see WantsDownload).
  std::string download;
  bool operator==(const GallerySettings&) const = default;
};

enum class CatalogueStatus {
  kRead,        // the settings were taken from the catalogue (or kept their defaults)
  kUnreadable,  // the text is missing or malformed
  kNoRoot,      // the text is well-formed so far but holds no root element
};

// Takes the settings of the album `album_id` from the catalogue text into
// `settings`. Every child element of the root whose `id` attribute reads as
// the same decimal number as `album_id` (a missing or empty id reads as 0) is
// an entry of the album; from each, in document order, the texts of the
// children `skeen`, `lang`, `color`, `logo`, `seconds`, `transition`,
// `bwidth`, `bheight`, `download` and, when `with_name`, `name` are taken
// where the child exists, so the last entry wins. An empty name then
// becomes "Untitled". The root's own name is not checked. `settings` is
// changed only on kRead.
[[nodiscard]] CatalogueStatus ReadGallerySettings(std::string_view catalogue_text,
                                                  std::string_view album_id, bool with_name,
                                                  GallerySettings& settings);

// `skin` when `skins_folder` holds a folder of that name; otherwise
// kDefaultSkin. A name that is empty, begins with "." or holds a path
// separator never names a skin, so the gallery's skin folder always stays
// inside the gallery.
[[nodiscard]] std::string ChooseSkin(const std::string& skin, const std::string& skins_folder);

// Whether the gallery offers the album's big images as one ZIP archive: the
// `download` setting read as a decimal number (1 yes, 0 no); when the album
// has none, a web gallery does and a CD gallery, which holds the photos as
// files already, does not.
[[nodiscard]] bool WantsDownload(const GallerySettings& settings, bool web);

// The skin list: one `skeen` whose `name` and `value` are `skin`.
[[nodiscard]] std::string SkinListXml(std::string_view skin);

// The player settings with the language, colour, skin and logo (the logo
// attribute is present even when empty).
[[nodiscard]] std::string SettingsXml(const GallerySettings& settings);

// The slide-show settings: `zel_show` with the attributes name, seconds,
// transition, bwidth, bheight and download (the archive's path in the
// gallery, empty when there is none).
[[nodiscard]] std::string ShowXml(const GallerySettings& settings, std::string_view download);

}  // namespace lumireel

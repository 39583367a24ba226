// Gallery assembly: one album becomes a self-contained slide-show gallery in a
// folder, from the gallery templates in the workspace's `images` folder and
// the album's own `photoparts` and `logo` folders.
//
// A web gallery (`<G>` served by any web server) holds:
//   skins\<skin>\...          images\skins\web\<skin>
//   skins\skins.xml           the skin list
//   skins\zelslideshoweffects.swf
//   img_pice\...              images\web\img_pice
//   zel_ui\...                images\zel_ui (the player)
//   zel_ui\zelsetting.xml     the player settings
//   zel_ui\zelshow.xml        the album name, the slide show's settings
//   album.zip                 the big images, for "Download all" (when wanted)
//   index.html                images\web\index.html, "{title}" filled
//   zelalbum.swf
//   photoparts\...  logo\...  the album's folders
// A CD gallery (opened from the disk) holds the same skins (from
// images\skins\cd), zel_ui and both settings files, the album's logo and
// photoparts, album.zip when the album asks for it,
// the start-up files of images\cd (quillmarZELA.ico, .exe, .hqx beside the
// .exe, autorun.inf, and the start page index.html), and
// zel_ui\album-data.js, the gallery's data for a page without a server.
//
// Template paths are relative to the workspace root. Folder trees are copied
// with CloneFolder, so entries whose names begin with "." are left out.
#pragma once

#include <string>

#include "publish/gallery_settings.h"

namespace lumireel {

namespace platform {
class Dialogs;
}

enum class GalleryKind { kWeb, kCd };

class GalleryPublisher {
 public:
  // `dialogs` shows the error boxes; it must outlive the publisher.
  explicit GalleryPublisher(platform::Dialogs& dialogs) : dialogs_(dialogs) {}

  // Clears the status of the previous run: succeeded, no message.
  void ResetStatus();
  bool succeeded() const { return succeeded_; }
  // The text of the last error box shown, empty when there was none.
  const std::string& message() const { return message_; }

  // Assemble a gallery in the existing folder `gallery` for the album whose
  // folder is `album_prefix` + `album_id`, with the templates and catalogue
  // of the workspace `root_path`. True when the gallery was assembled; false
  // when it stopped at an error that was shown in a message box:
  //   "Can't read XML" (title "Error")   catalogue missing or not parsed;
  //   "Ca'nt parse XML" (title "Error")  catalogue without a root element;
  //   "can't copy files from %s to %s ]" (title "Fatal error!", error icon)
  //                                      the skin folder could not be copied.
  // Other copy and write failures leave parts out without an error.
  // REQUIRES: not on the main thread while the main thread waits for it
  // (the message boxes run there).
  bool BuildWebGallery(const std::string& album_id, const std::string& album_prefix,
                       const std::string& root_path, const std::string& gallery);
  bool BuildCdGallery(const std::string& album_id, const std::string& album_prefix,
                      const std::string& root_path, const std::string& gallery);

  // Shows an error box and records it in the status.
  void ReportError(const std::string& caption, const std::string& text, bool error_icon);

 private:
  bool Build(GalleryKind kind, const std::string& album_id, const std::string& album_prefix,
             const std::string& root_path, const std::string& gallery);
  // Steps shared by both kinds: settings, skin folder, skin list, effects.
  bool PrepareSkin(GalleryKind kind, const std::string& root_path, const std::string& gallery,
                   GallerySettings& settings);

  platform::Dialogs& dialogs_;
  bool succeeded_ = true;
  std::string message_;
};

}  // namespace lumireel

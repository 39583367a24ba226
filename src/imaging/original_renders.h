// Renditions made again from a photo's kept original: the editor's save of a
// whole adjustment document (SaveEdit), "Revert to original" (RevertPhoto)
// and the re-rendering of a whole album at its present sizes (RenderAlbum).
//
// An edit made this way never compounds: the big image and the preview are
// always rendered from the original at the album's sizes, exactly as the
// import rendered them, and the photo's whole adjustment document is then
// applied once. The document is kept as `edits/<id>.xml` in the photo
// folder:
//   <?xml version="1.0" encoding="utf-8" ?><edits width="W" height="H">DOC</edits>
// where DOC is the document's text as the editor sent it (entity-encoded
// once more) and W x H the upright size of the big image its pixel values
// refer to; when the album's sizes change, its crops are scaled to the new
// big image.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "imaging/process_image.h"
#include "imaging/rendition_sizes.h"

namespace lumireel {

class Pacing;
namespace platform {
class MovieControl;
}

// The sizes of the album `album_id` in the workspace `root`: the
// catalogue's pwidth, pheight, bwidth and bheight of that album; a missing
// catalogue, album or value (or one that is not a positive number) gives
// 180, 180, 700 and 700, as the movie reads them.
RenditionLimits AlbumRenditionLimits(const std::string& root, const std::string& album_id);

// A kept adjustment document.
struct KeptEdits {
  std::string document;  // the document's text
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// The document kept for photo `id` of `part_folder`; nullopt when there is
// none or it does not parse.
std::optional<KeptEdits> ReadKeptEdits(const std::string& part_folder, const std::string& id);

enum class OriginalRender {
  kRendered,
  kNoOriginal,  // nothing kept for the photo: its files stay as they are
  kFailed,      // the original does not decode or a file cannot be written
};

// Renders the big image and the preview of photo `id` (its renditions named
// `file`) of `part_folder` from its original at `limits`, records the
// preview size in photos.xml and, with `edits`, applies that document to
// both (as SaveIMG does, from the fresh renditions). Renditions already in
// place are only replaced by complete new ones. Any thread.
OriginalRender RenderFromOriginal(const RenditionLimits& limits, const std::string& part_folder,
                                  const std::string& id, const std::string& file,
                                  const std::optional<KeptEdits>& edits, const std::string& root,
                                  const EditServices& services);

// What the three commands run on.
struct OriginalJobServices {
  platform::MovieControl& movie;
  platform::Dialogs& dialogs;
  Pacing& pacing;
};

// SaveEdit: renders photo `id` of `part_folder` from its original with the
// whole adjustment document `document` and keeps the document; then
// reloadBigImg. A photo without an original is edited as before (SaveIMG's
// edit of its big image in place) and no document is kept.
void RunSaveEdit(const std::string& root, const std::string& part_folder, const std::string& id,
                 const std::string& document, const OriginalJobServices& services);

// RevertPhoto: renders photo `id` of `part_folder` from its original with no
// edits and drops its kept document; then reloadBigImg (also when there is
// no original and nothing changed).
void RunRevertPhoto(const std::string& root, const std::string& part_folder, const std::string& id,
                    const OriginalJobServices& services);

// RenderAlbum: every photo of every photo folder of `album_folder` that has
// an original is rendered again at the album's present sizes with its kept
// document. createProgressBar("loc_convertimg"), showProgress(total, done)
// after each photo and showProgress(total, total) at the end, then
// reloadContent. When `cancelled()` turns true the job stops before the
// next photo (the photos done keep their new renditions) and ends the same
// way.
void RunRenderAlbum(const std::string& root, const std::string& album_folder,
                    const std::function<bool()>& cancelled, const OriginalJobServices& services);

}  // namespace lumireel

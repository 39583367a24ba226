#include "imaging/photo_import.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <climits>
#include <optional>
#include <vector>

#include "bridge/file_utils.h"
#include "bridge/invoke_request.h"
#include "bridge/movie_messages.h"
#include "bridge/pacing.h"
#include "imaging/image_codec.h"
#include "imaging/import_pipeline.h"
#include "imaging/photo_list_rewrite.h"
#include "imaging/renditions.h"
#include "library/photo_list.h"
#include "library/stored_xml.h"
#include "platform/dialogs.h"

namespace lumireel {
namespace {

constexpr char kProgressLabel[] = "loc_convertimg";
constexpr char kImportErrorTitle[] = "import_error_h";
constexpr char kImportErrorMessage[] = "import_error";

enum class ImportEnd { kReload, kSilent };

std::uint32_t ReadLimit(const OptionalArg& arg) {
  const long value = ReadDecimal(arg ? std::string_view(*arg) : std::string_view());
  if (value < 0) return 0;
  if (static_cast<unsigned long>(value) > UINT32_MAX) return UINT32_MAX;
  return static_cast<std::uint32_t>(value);
}

platform::OpenFileRequest PhotoDialog() {
  platform::OpenFileRequest dialog;
  dialog.filter = kPhotoDialogFilter;
  dialog.default_ext = kPhotoDialogDefaultExt;
  dialog.multiple = true;
  dialog.owned_by_main_window = false;
  dialog.photos = true;
  return dialog;
}

// Deletes the renditions of photos that could not be entered in the list.
void RemoveRenditions(const std::string& folder, const std::vector<ImportedPhoto>& photos) {
  for (const ImportedPhoto& photo : photos) {
    const std::string name = std::to_string(photo.id) + ".jpg";
    RemoveFile(JoinPath(JoinPath(folder, "big"), name));
    RemoveFile(JoinPath(JoinPath(folder, "preview"), name));
    if (const std::optional<std::string> original =
            FindOriginal(folder, std::to_string(photo.id))) {
      RemoveFile(*original);
    }
  }
}

// Enters the held photos in their folder's list (read afresh), or deletes
// their renditions when they cannot be entered; nothing is held afterwards.
void WriteHeld(HeldPhotos& held) {
  if (!held.photos.empty()) {
    const std::string list_path = JoinPath(held.folder, "photos.xml");
    LoadedList list;
    (void)LoadList(list_path, list);  // one that cannot be read is no document
    if (!AppendImportedPhotos(held.folder, list_path, list, held.photos)) {
      RemoveRenditions(held.folder, held.photos);
    }
  }
  held = HeldPhotos{};
}

// True when `photos` photos, the first of them held since `since`, may wait
// for the next import instead of being written.
bool MayHold(std::chrono::steady_clock::time_point since, std::size_t photos,
             const ImportRequest& request, const ImportServices& services) {
  if (!services.next_import_into || photos >= HeldPhotos::kMaxHeldPhotos) return false;
  if (std::chrono::steady_clock::now() - since >= HeldPhotos::kMaxHeldTime) return false;
  return services.next_import_into(request.folder);
}

// Renders and numbers the picked files; returns how many were skipped.
int ImportFiles(const ImportRequest& request, const ImportServices& services,
                const std::vector<std::string>& files, int last_id, LoadedList& list,
                const std::string& list_path) {
  const int total = static_cast<int>(std::min<std::size_t>(files.size(), INT_MAX));
  const std::string big_dir = JoinPath(request.folder, "big");
  const std::string preview_dir = JoinPath(request.folder, "preview");
  const std::string originals_dir = JoinPath(request.folder, "originals");
  CallMovie(services.movie, CreateProgressBarMessage(kProgressLabel));

  std::vector<ImportedPhoto> imported;
  int skipped = 0;
  {
    OrderedRenderer renderer(
        files.size(),
        [&](std::size_t i) {
          return RenderPhoto(request.limits, files[i], big_dir, preview_dir, originals_dir);
        },
        services.workers);
    ProgressRule progress(total);
    for (std::size_t i = 0; i < files.size(); ++i) {
      // A cancelled import keeps the photos it has; the renderer drops the
      // rest of its work.
      if (services.cancelled && services.cancelled()) break;
      if (progress.ReportBeforeNext()) {
        services.pacing.Pause(kProgressPause);
        CallMovie(services.movie, ShowProgressMessage(total, static_cast<int>(i)));
        services.pacing.Pause(kProgressPause);
      }
      RenderedPhoto photo = renderer.Take(i);
      // A file that did not render takes no id; ids run on without gaps.
      const CommitResult commit = last_id < INT_MAX
                                      ? CommitPhoto(photo, request.folder, big_dir, preview_dir,
                                                    std::to_string(last_id + 1))
                                      : CommitResult{};
      if (!commit.ok) {
        ++skipped;
        continue;
      }
      ++last_id;
      imported.push_back(
          {last_id, photo.preview_size.width, photo.preview_size.height, std::move(photo.facts)});
      services.pacing.Pause(kRenderedPhotoPause);
    }
  }
  // The photos held from the imports before this one go in first.
  HeldPhotos& held = *services.held;
  std::vector<ImportedPhoto> photos = std::move(held.photos);
  const auto since = photos.empty() ? std::chrono::steady_clock::now() : held.since;
  held = HeldPhotos{};
  photos.insert(photos.end(), std::make_move_iterator(imported.begin()),
                std::make_move_iterator(imported.end()));
  if (photos.empty()) return skipped;
  if (MayHold(since, photos.size(), request, services)) {
    held = HeldPhotos{request.folder, std::move(photos), since};
    return skipped;
  }
  if (!AppendImportedPhotos(request.folder, list_path, list, photos)) {
    // The photos cannot be entered: none of them was imported after all.
    RemoveRenditions(request.folder, photos);
    skipped = total;
  }
  return skipped;
}

ImportEnd ImportPhotos(const ImportRequest& request, const ImportServices& services) {
  ImageCodec::Initialise();
  HeldPhotos& held = *services.held;
  if (held.folder != request.folder) WriteHeld(held);
  int last_id = GetHighestPhotoId(request.folder);
  for (const ImportedPhoto& photo : held.photos) last_id = std::max(last_id, photo.id);
  const std::optional<std::vector<std::string>> files = services.dialogs.OpenFiles(PhotoDialog());
  // On the early ends the import is over at once; the watcher's pause that
  // follows covers the short pause the import used to make after ending.
  // Photos held for this import are written first.
  if (!files || files->empty()) WriteHeld(held);
  if (!files) {
    if (!request.reload) return ImportEnd::kSilent;
    CallMovie(services.movie, ReloadContentMessage());
    return ImportEnd::kReload;
  }

  const std::string list_path = JoinPath(request.folder, "photos.xml");
  // The list is kept for the whole import, so it keeps its photos as text:
  // parsed with its root's children left as text, or, for a list as this
  // program wrote it, the text itself.
  LoadedList list;
  if (!LoadList(list_path, list) || files->empty()) {
    WriteHeld(held);
    return ImportEnd::kReload;
  }

  const int total = static_cast<int>(std::min<std::size_t>(files->size(), INT_MAX));
  const int skipped = ImportFiles(request, services, *files, last_id, list, list_path);
  services.pacing.Pause(kListWrittenPause);
  CallMovie(services.movie, ShowProgressMessage(total, total));
  if (skipped > 0) {
    CallMovie(services.movie, ShowAlertMessage(kImportErrorTitle, kImportErrorMessage, skipped));
  }
  services.pacing.Pause(kImportEndPause);
  return ImportEnd::kReload;
}

}  // namespace

ImportRequest ReadImportRequest(const std::array<OptionalArg, 11>& args) {
  ImportRequest request;
  request.folder = args[0].value_or(std::string());
  request.limits = {ReadLimit(args[3]), ReadLimit(args[4]), ReadLimit(args[5]), ReadLimit(args[6])};
  request.reload = args[10] && *args[10] == "reload";
  return request;
}

void RunPhotoImport(const ImportRequest& request, const ImportServices& services) {
  if (ImportPhotos(request, services) == ImportEnd::kSilent) return;
  // The watcher's part: the movie reloads once the import has settled.
  services.pacing.Pause(kWatcherPause);
  CallMovie(services.movie, ReloadContentMessage());
  services.pacing.Pause(kWatcherPause);
}

}  // namespace lumireel
